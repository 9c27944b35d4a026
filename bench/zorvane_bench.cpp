// Drives the real main window through its handlers on synthetic glossaries and prints, per operation,
// the median and 95th percentile in milliseconds, for the pooled store and for a connection opened
// and keyed for every operation, with the ratio of the two, and the peak resident memory.
#include "ConnectionPool.h"
#include "Form1.h"
#include "GlossaryFile.h"
#include "JetCarryOver.h"
#include "JetFile.h"
#include "MsgBox.h"
#include "Recordset.h"
#include "Store.h"
#include "SyntheticGlossary.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QListView>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTextStream>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

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

// Made by a child process, so that the generator's memory never counts in the peak measured here.
QString glossaryFile(const QString &folder, int size)
{
    const QString file = folder + QStringLiteral("/QUORLAN.mdb");
    if (!QFile::exists(file)) {
        std::printf("  generating %d terms...\n", size);
        std::fflush(stdout);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--generate"), QString::number(size), file});
        child.waitForFinished(-1);
        if (child.exitCode() != 0 || !QFile::exists(file)) {
            std::fprintf(stderr, "generation failed\n");
            std::exit(1);
        }
    }
    return file;
}

int generate(int size, const QString &file)
{
    const QString partial = file + QStringLiteral(".new");
    QFile::remove(partial);
    GlossaryFile::create(partial);
    GlossaryFile::append(partial, SyntheticGlossary::rows(size));
    return QFile::rename(partial, file) ? 0 : 1;
}

// Search words taken from the stored terms themselves: prefixes that many terms share.
QStringList searchWords(int count)
{
    ConnectionPool::setEnabled(false);
    Recordset rs;
    rs.Open(store::QueryAllTerms(), store::ConnectionString(), 1, 3, 1);
    QStringList terms;
    while (!rs.Eof()) {
        terms.append(rs.Fields(QStringLiteral("Parola")).Value().toString());
        rs.MoveNext();
    }
    rs.Close();
    QStringList words;
    for (qsizetype i = 0; words.size() < count && !terms.isEmpty(); i += 7919) {
        const QStringList parts = terms[i % terms.size()].split(u' ');
        const QString w = parts[(i / 7919) % parts.size()];
        if (w.size() >= 5 && !w.contains(u'\''))
            words.append(w.left(5));
    }
    return words;
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

bool startUpOnly = false;

Run measure(const QStringList &words, bool pooled, int reps)
{
    ConnectionPool::setEnabled(pooled);
    Run run;

    for (int i = 0; i < qMax(3, reps / 4); ++i) {
        ConnectionPool::clear();
        Form1 form;
        run.samples["start-up"].append(timed([&] { form.CaricaLista(); }));
    }

    if (startUpOnly)
        return run;
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

// An old Jet glossary carried over as at start-up: the whole, and the reading alone, with the throughput
// and what it means for a glossary of 20,000 entries (about 20 MB) against the splash's four seconds.
void measureCarryOver(const QString &jetFile, int reps)
{
    const double megabytes = double(QFile(jetFile).size()) / 1e6;
    Samples whole, reading;
    qsizetype rows = 0;
    for (int i = 0; i < reps; ++i) {
        QTemporaryDir dir;
        const QString glossary = dir.filePath(QStringLiteral("QUORLAN.mdb"));
        QFile::copy(jetFile, glossary);
        QFile::setPermissions(glossary, QFile::ReadOwner | QFile::WriteOwner);
        reading.append(timed([&] { rows = JetFile(glossary, GlossaryFile::DefaultPassword).readAll().size(); }));
        whole.append(timed([&] { JetCarryOver::run(glossary, GlossaryFile::DefaultPassword); }));
    }
    // The fixed part (keying three connections, the syncs) dwarfs the rows of a small file, so the size
    // that matters is measured itself: the file's rows repeated to 20,000 entries go through the writer,
    // and the reading is scaled by bytes from the file (about 20 MB for that many entries).
    QList<GlossaryFile::Record> many;
    {
        const QList<GlossaryFile::Record> some = JetFile(jetFile, GlossaryFile::DefaultPassword).readAll();
        for (qint64 id = 1; id <= 20000; ++id)
            many.append({id, some[(id - 1) % some.size()].term, some[(id - 1) % some.size()].definition});
    }
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("grande.mdb"));
    const double writing = timed([&] {
        GlossaryFile::createFrom(big, many, 20000);
        GlossaryFile::verify(big, many.size());
    });
    const double seconds = percentile(whole, 0.5) / 1000.0;
    const double projected = (percentile(reading, 0.5) * 20.0 / megabytes + writing) / 1000.0;
    std::printf("\nOld Jet glossary carried over: %s, %lld rows, %.2f MB\n", qPrintable(QFileInfo(jetFile).fileName()),
                static_cast<long long>(rows), megabytes);
    std::printf("  %-32s %8.2fms %8.2fms\n", "reading the old file", percentile(reading, 0.5),
                percentile(reading, 0.95));
    std::printf("  %-32s %8.2fms %8.2fms\n", "whole carry-over", percentile(whole, 0.5), percentile(whole, 0.95));
    std::printf("  throughput of the whole: %.0f rows/s, %.2f MB/s\n", double(rows) / seconds, megabytes / seconds);
    std::printf("  20,000 entries (new file %.0f MB): writing and checking %.0f ms, reading ~%.0f ms; in all %.2f s, "
                "%s the 4 s of the splash\n",
                double(QFile(big).size()) / 1e6, writing, percentile(reading, 0.5) * 20.0 / megabytes, projected,
                projected <= 4.0 ? "within" : "OVER");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (app.arguments().size() == 4 && app.arguments()[1] == QStringLiteral("--generate"))
        return generate(app.arguments()[2].toInt(), app.arguments()[3]);
    QList<int> sizes = {32767, 200000};
    int reps = 20;
    bool literalToo = true;
    QString dataFolder = QDir::tempPath() + QStringLiteral("/zorvane-bench");
    QString jetFile = QStringLiteral(ZORVANE_JET_FIXTURES "/glossario-2003.mdb");
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--sizes") && i + 1 < args.size()) {
            sizes.clear();
            for (const QString &s : args[++i].split(u','))
                sizes.append(s.toInt());
        } else if (args[i] == QStringLiteral("--reps") && i + 1 < args.size()) {
            reps = args[++i].toInt();
        } else if (args[i] == QStringLiteral("--start-up-only")) {
            startUpOnly = true;
        } else if (args[i] == QStringLiteral("--pooled-only")) {
            literalToo = false;
        } else if (args[i] == QStringLiteral("--data") && i + 1 < args.size()) {
            dataFolder = args[++i];
        } else if (args[i] == QStringLiteral("--jet") && i + 1 < args.size()) {
            jetFile = args[++i];
        } else {
            std::fprintf(stderr, "uso: zorvane-bench [--sizes 32767,200000] [--reps 20] [--pooled-only] [--start-up-only] [--data CARTELLA] [--jet FILE.mdb]\n");
            return 2;
        }
    }

    int boxes = 0;
    MsgBox::setHandler([&boxes](const MsgBox::Request &request) {
        ++boxes;
        return (request.style & 7) == 4 ? int(MsgBox::vbYes) : int(MsgBox::vbOK);
    });

    if (QFile::exists(jetFile))
        measureCarryOver(jetFile, std::max(3, reps / 4));

    for (int size : sizes) {
        const QString folder = dataFolder + QStringLiteral("/%1").arg(size);
        QDir().mkpath(folder);
        const QString file = glossaryFile(folder, size);
        store::setAppPath(folder);
        const QStringList words = searchWords(reps * 2);
        std::printf("\n%d terms, file %.1f MB\n", size, double(QFile(file).size()) / 1e6);
        std::fflush(stdout);

        const Run pooled = measure(words, true, reps);
        const Run literal = literalToo ? measure(words, false, qMax(3, reps / 4)) : Run();
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
