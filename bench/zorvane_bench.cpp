// Drives the real main window through its handlers on synthetic glossaries and prints, per operation,
// the median and 95th percentile in milliseconds, for the pooled store and for a connection opened
// and keyed for every operation, with the ratio of the two, and the peak resident memory.
#include "ConnectionPool.h"
#include "Form1.h"
#include "GlossaryFile.h"
#include "MsgBox.h"
#include "Store.h"
#include "SyntheticGlossary.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QListView>
#include <QMap>
#include <QPushButton>
#include <QTextStream>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace {

using Samples = QList<double>;

double percentile(Samples s, double p)
{
    std::sort(s.begin(), s.end());
    if (s.isEmpty())
        return 0;
    const qsizetype i = qMin(s.size() - 1, qsizetype(p * double(s.size() - 1) + 0.5));
    return s[i];
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

template<typename F>
double timed(F &&f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

QString glossaryFile(const QString &folder, int size, QList<GlossaryFile::Row> *rows)
{
    *rows = SyntheticGlossary::rows(size);
    const QString file = folder + QStringLiteral("/QUORLAN.mdb");
    if (!QFile::exists(file)) {
        std::printf("  generating %d terms...\n", size);
        std::fflush(stdout);
        const QString partial = file + QStringLiteral(".new");
        QFile::remove(partial);
        GlossaryFile::create(partial);
        GlossaryFile::append(partial, *rows);
        QFile::rename(partial, file);
    }
    return file;
}

struct Run {
    QMap<QString, Samples> samples;
    double peak = 0;
};

void selectRow(Form1 &form, int row)
{
    QListView *list = form.List1[0];
    list->selectionModel()->select(list->model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
    list->selectionModel()->setCurrentIndex(list->model()->index(row, 0), QItemSelectionModel::NoUpdate);
    form.List1_Click();
}

Run measure(const QList<GlossaryFile::Row> &rows, bool pooled, int reps)
{
    ConnectionPool::setEnabled(pooled);
    Run run;
    const QStringList words = SyntheticGlossary::searchWords(rows, reps * 2);

    for (int i = 0; i < qMax(3, reps / 4); ++i) {
        ConnectionPool::clear();
        Form1 form;
        run.samples["start-up"].append(timed([&] { form.CaricaLista(); }));
    }

    Form1 form;
    form.CaricaLista();
    for (int r = 0; r < reps; ++r) {
        const QString w = words[r];
        for (int n = 2; n <= w.size(); ++n)
            run.samples["term keystroke"].append(timed([&] { form.Txt_Search->setText(w.left(n)); }));
        form.Command1_Click();

        const QString two = words[reps + r].left(3) + u' ' + words[r].left(3);
        for (int n = 5; n <= two.size(); ++n)
            run.samples["definition keystroke (2 words)"].append(
                timed([&] { form.Txt_Search_Def->setText(two.left(n)); }));
        form.Command1_Click();
    }

    const int listed = form.List1[0]->model()->rowCount();
    for (int r = 0; r < reps; ++r) {
        run.samples["selection"].append(timed([&] { selectRow(form, (r * 7919) % listed); }));
        run.samples["VISUALIZZA TUTTO"].append(timed([&] { form.Command1_Click(); }));
    }

    for (int r = 0; r < qMax(3, reps / 2); ++r) {
        form.Cmd_Add_Click();
        const QString term = QStringLiteral("zzbench %1 %2").arg(pooled).arg(r);
        form.TextPAROLA->setText(term);
        form.RichTextBox1->setText(QStringLiteral("Voce di prova %1 scritta dal banco di misura, numero %2.")
                                       .arg(pooled ? "raccolta" : "diretta")
                                       .arg(r));
        run.samples["save (with similarity check)"].append(timed([&] { form.Cmd_Edit_Click(); }));

        // The new term sorts last: select it, rewrite it, then delete it.
        selectRow(form, form.List1[0]->model()->rowCount() - 1);
        form.RichTextBox1->setText(QStringLiteral("Voce modificata %1 dal banco.").arg(r));
        run.samples["modify"].append(timed([&] { form.Cmd_Edit_Click(); }));
        selectRow(form, form.List1[0]->model()->rowCount() - 1);
        run.samples["delete"].append(timed([&] { form.Cmd_Delete_Click(); }));
    }
    run.peak = peakMegabytes();
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> sizes = {32767, 200000};
    int reps = 20;
    bool literalToo = true;
    QString dataFolder = QDir::tempPath() + QStringLiteral("/zorvane-bench");
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--sizes") && i + 1 < args.size()) {
            sizes.clear();
            for (const QString &s : args[++i].split(u','))
                sizes.append(s.toInt());
        } else if (args[i] == QStringLiteral("--reps") && i + 1 < args.size()) {
            reps = args[++i].toInt();
        } else if (args[i] == QStringLiteral("--pooled-only")) {
            literalToo = false;
        } else if (args[i] == QStringLiteral("--data") && i + 1 < args.size()) {
            dataFolder = args[++i];
        } else {
            std::fprintf(stderr, "uso: zorvane-bench [--sizes 32767,200000] [--reps 20] [--pooled-only] [--data CARTELLA]\n");
            return 2;
        }
    }

    int boxes = 0;
    MsgBox::setHandler([&boxes](const MsgBox::Request &request) {
        ++boxes;
        return (request.style & 7) == 4 ? int(MsgBox::vbYes) : int(MsgBox::vbOK);
    });

    for (int size : sizes) {
        const QString folder = dataFolder + QStringLiteral("/%1").arg(size);
        QDir().mkpath(folder);
        QList<GlossaryFile::Row> rows;
        const QString file = glossaryFile(folder, size, &rows);
        store::setAppPath(folder);
        std::printf("\n%d terms, file %.1f MB\n", size, double(QFile(file).size()) / 1e6);
        std::fflush(stdout);

        const Run pooled = measure(rows, true, reps);
        const Run literal = literalToo ? measure(rows, false, qMax(3, reps / 4)) : Run();
        std::printf("  %-32s %10s %10s %12s %12s %8s\n", "operation", "median", "p95", "literal med", "literal p95",
                    "ratio");
        for (auto it = pooled.samples.cbegin(); it != pooled.samples.cend(); ++it) {
            const double med = percentile(it.value(), 0.5), p95 = percentile(it.value(), 0.95);
            const Samples lit = literal.samples.value(it.key());
            const double lmed = percentile(lit, 0.5), lp95 = percentile(lit, 0.95);
            std::printf("  %-32s %8.2fms %8.2fms %10.2fms %10.2fms %7.1fx\n", qPrintable(it.key()), med, p95, lmed,
                        lp95, med > 0 ? lmed / med : 0.0);
        }
        std::printf("  peak resident memory after the pooled run: %.0f MB (whole process so far)\n", pooled.peak);
        std::fflush(stdout);
    }
    std::printf("\n(%d message boxes answered)\n", boxes);
    return 0;
}
