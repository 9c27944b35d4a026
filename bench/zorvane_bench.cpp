// Drives the real main window through its handlers on synthetic glossaries and prints, per operation,
// the median and 95th percentile in milliseconds beside the target, for the pooled store and for a
// connection opened and keyed for every operation, with the ratio of the two, and the peak resident
// memory; then the selection of terms with very large definitions.
#include "SyntheticGlossary.h"
#include "db/glossary/GlossaryFile.h"
#include "db/glossary/Store.h"
#include "db/mdb/JetCarryOver.h"
#include "db/mdb/JetFile.h"
#include "db/query/TextMatch.h"
#include "db/recordset/ConnectionPool.h"
#include "db/recordset/Recordset.h"
#include "main_window/Form1.h"
#include "platform/msgbox/MsgBox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QListView>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
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

// The peak resident size since the last reset (Linux keeps it as VmHWM and resets it on request), so that
// a run is not charged for what came before it: the generator, the word list read through SQLite's sort.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double peakMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        }
    }
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
        std::printf("  generating %s...\n",
                    size > 0 ? qPrintable(QStringLiteral("%1 terms").arg(size)) : "large definitions");
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

// Terms with definitions of this many megabytes, in short lines as an article, or in one paragraph
// (which Qt would lay out whole), beside a few ordinary ones.
struct LargeCase {
    int megabytes;
    bool lines;
    QString term() const
    {
        return QStringLiteral("voce di %1 MB%2")
            .arg(megabytes, 2, 10, QLatin1Char('0'))
            .arg(lines ? "" : ", un paragrafo");
    }
};
const QList<LargeCase> LargeCases = {{1, true}, {5, true}, {50, true}, {1, false}, {5, false}};

int generate(int size, const QString &file)
{
    const QString partial = file + QStringLiteral(".new");
    QFile::remove(partial);
    GlossaryFile::create(partial);
    if (size > 0) {
        GlossaryFile::append(partial, SyntheticGlossary::rows(size));
    } else {
        QList<GlossaryFile::Row> rows = SyntheticGlossary::rows(20);
        rows.append({QStringLiteral("voce breve"), QStringLiteral("Lo strazio della luce.")});
        for (const LargeCase &c : LargeCases)
            rows.append({c.term(), SyntheticGlossary::longDefinition(qsizetype(c.megabytes) * 1000 * 1000,
                                                                     quint32(c.megabytes), c.lines)});
        GlossaryFile::append(partial, rows);
    }
    return QFile::rename(partial, file) ? 0 : 1;
}

// Search words taken from the stored rows themselves: prefixes that many terms share, and whole words of
// the definitions (`common`), those with an accented letter apart (`accented`).
struct SearchWords {
    QStringList terms;
    QStringList common;
    QStringList accented;
};

SearchWords searchWords(int count)
{
    ConnectionPool::setEnabled(false);
    Recordset rs;
    rs.Open(store::QueryAllTerms(), store::ConnectionString(), 1, 3, 1);
    QStringList terms, definitions;
    for (int row = 0; !rs.Eof(); ++row) {
        terms.append(rs.Fields(QStringLiteral("Parola")).Value().toString());
        if (row % 997 == 0)
            definitions.append(rs.Fields(QStringLiteral("Definizione")).Value().toString());
        rs.MoveNext();
    }
    rs.Close();
    SearchWords words;
    for (qsizetype i = 0; words.terms.size() < count && !terms.isEmpty(); i += 7919) {
        const QStringList parts = terms[i % terms.size()].split(u' ');
        const QString w = parts[(i / 7919) % parts.size()];
        if (w.size() >= 5 && !w.contains(u'\''))
            words.terms.append(w.left(5));
    }
    for (const QString &definition : definitions) {
        const QStringList parts = definition.split(QRegularExpression(QStringLiteral("[ .\n]")), Qt::SkipEmptyParts);
        for (const QString &w : parts) {
            QStringList &kind = w.toLatin1() == w.toUtf8() ? words.common : words.accented;
            if (w.size() >= 7 && kind.size() < count && !kind.contains(w))
                kind.append(w);
        }
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
// Only the term keystrokes, on one window, for profiling them alone.
bool termsOnly = false;

// Glossaries are made once and kept; one made by an earlier generator is not reused.
constexpr int GeneratorVersion = 2;

QString glossaryFolder(const QString &dataFolder, const QString &name)
{
    return dataFolder + QStringLiteral("/%1-g%2").arg(name).arg(GeneratorVersion);
}

// From Timer1's tick, which ends the splash, to the main window shown with its list; then the first
// definition search, and the same search once more later.
void measureStartUp(Run &run, const QString &word, const QString &other)
{
    ConnectionPool::clear();
    // The program starts once; here each start after the first would be charged for the copy the one
    // before it loaded, which glibc keeps, freed, in the arena of the thread that loaded it.
    malloc_trim(0);
    Form1 form;
    QElapsedTimer sinceTick;
    QObject::connect(form.Timer1, &QTimer::timeout, [&] {
        if (!sinceTick.isValid())
            sinceTick.start();
    });
    form.Form_Load();
    form.show();
    run.samples["main window after the splash's tick"].append(double(sinceTick.nsecsElapsed()) / 1e6);
    run.samples["first definition search after start-up"].append(
        timed([&] { form.Txt_Search_Def->setText(word); }));
    // Another search in between, so that this one, like the first, looks at every row.
    form.Command1_Click();
    form.Txt_Search_Def->setText(other);
    form.Command1_Click();
    run.samples["the same definition search later"].append(timed([&] { form.Txt_Search_Def->setText(word); }));
}

// Each start-up searches for one word and then the next.
int startUps(int reps)
{
    return qMax(3, reps / 4);
}

Run measure(const SearchWords &searchWords, bool pooled, int reps)
{
    ConnectionPool::setEnabled(pooled);
    Run run;
    resetPeak();
    const QStringList &words = searchWords.terms;

    for (int i = 0; i < (termsOnly ? 0 : startUps(reps)); ++i)
        measureStartUp(run, words[i].left(4), words[i + 1].left(4));

    if (startUpOnly) {
        run.peak = peakMegabytes();
        return run;
    }
    Form1 form;
    form.CaricaLista();
    for (int r = 0; r < reps; ++r) {
        const QString w = words[r];
        for (int n = 2; n <= w.size(); ++n)
            run.samples["term keystroke"].append(timed([&] { form.Txt_Search->setText(w.left(n)); }));
        form.Command1_Click();
        if (termsOnly)
            continue;

        const QString two = words[reps + r].left(3) + u' ' + words[r].left(3);
        for (int n = 5; n <= two.size(); ++n)
            run.samples["definition keystroke (2 words)"].append(
                timed([&] { form.Txt_Search_Def->setText(two.left(n)); }));
        form.Command1_Click();
    }

    if (termsOnly) {
        run.peak = peakMegabytes();
        return run;
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

// The kinds of definition search the issue names, each on its own line. A search "from afresh" follows a
// term search, so the last search cannot narrow it, as with a word pasted or typed after clearing the box.
const QStringList MixKinds = {"rare word, pasted",
                              "common word, pasted",
                              "rare word, typed key by key",
                              "common word, typed key by key",
                              "widened by a backspace",
                              "one-letter key",
                              "two-letter key",
                              "% and _ in the text",
                              "across the folding (PERCHÉ)",
                              "similarity check on save, new text",
                              "similarity check on save, common words"};

void afresh(Form1 &form)
{
    form.Txt_Search->setText(QStringLiteral("zq"));
}

// Each repetition runs once with the block index and once without, which first taking turns, so that both
// see the same load and neither always follows the other.
void measureQueryMix(std::array<QMap<QString, Samples>, 2> &indexedAndScanned, const SearchWords &words, int reps)
{
    Form1 form;
    form.CaricaLista();
    // The first definition search reads the definitions in: not one of the kinds measured.
    form.Txt_Search_Def->setText(words.common[0]);
    // Held only for this look: the pool hands out only a connection nobody else holds.
    {
        const auto kept = ConnectionPool::acquire(ConnectionTarget::parse(store::ConnectionString()));
        const TableIndex &index = kept->index;
        std::printf("  block index of the definitions: %.1f MB; common runs of the terms: %.1f MB\n",
                    double(index.definitionBlocksBytes()) / 1e6, double(index.termRunsBytes()) / 1e6);
    }
    QMap<QString, Samples> *samples = nullptr;
    const auto pasted = [&](const QString &kind, const QString &text) {
        afresh(form);
        (*samples)[kind].append(timed([&] { form.Txt_Search_Def->setText(text); }));
    };
    const auto typed = [&](const QString &kind, const QString &text) {
        afresh(form);
        for (int n = 2; n <= text.size(); ++n)
            (*samples)[kind].append(timed([&] { form.Txt_Search_Def->setText(text.left(n)); }));
    };
    const auto similar = [&](const QString &kind, const QString &definition, const QString &term) {
        (*samples)[kind].append(timed([&] {
            Recordset probe;
            probe.Open(store::QuerySimilar(definition, TextMatch::leftCharacters(definition, 20).toString(),
                                           TextMatch::rightCharacters(definition, 20).toString(), term),
                       store::ConnectionString(), 1, 3, 1);
        }));
    };
    for (int i = 0; i < 2 * reps; ++i) {
        const int r = i / 2;
        const bool indexed = (i + r) % 2 == 0;
        samples = &indexedAndScanned[indexed ? 0 : 1];
        TableIndex::setDefinitionBlocksUsed(indexed);
        const QString rare = SyntheticGlossary::rareWord((r * 7919) % SyntheticGlossary::RareWords);
        const QString common = words.common[r % words.common.size()];
        const QString accented = words.accented[r % words.accented.size()];
        pasted("rare word, pasted", rare);
        pasted("common word, pasted", common);
        typed("rare word, typed key by key", rare);
        typed("common word, typed key by key", common);
        form.Txt_Search_Def->setText(common);
        (*samples)["widened by a backspace"].append(timed([&] { form.Txt_Search_Def->setText(common.chopped(1)); }));
        pasted("one-letter key", common.left(1));
        pasted("two-letter key", common.left(2));
        const qsizetype middle = common.size() / 2;
        pasted("% and _ in the text", QString(common).replace(middle, 1, r % 2 ? u'_' : u'%'));
        pasted("across the folding (PERCHÉ)", accented.toUpper());
        similar("similarity check on save, new text",
                QStringLiteral("Voce di prova %1 scritta dal banco di misura, numero %1.").arg(r),
                QStringLiteral("zzbench %1").arg(r));
        similar("similarity check on save, common words",
                QStringList{common, words.common[(r + 1) % words.common.size()], accented, rare}.join(u' '),
                common);
    }
}

// The rows of the table, in the order the targets are listed.
const QStringList Operations = {"term keystroke",
                                "definition keystroke (2 words)",
                                "first definition search after start-up",
                                "the same definition search later",
                                "VISUALIZZA TUTTO",
                                "main window after the splash's tick",
                                "selection",
                                "save (with similarity check)",
                                "modify",
                                "delete"};

// What the issue asks of each size: median and 95th percentile in milliseconds (0: none).
struct Target {
    double median;
    double p95;
};

QMap<QString, Target> targets(int size)
{
    const bool large = size >= 1000000;
    return {{"term keystroke", large ? Target{1.5, 5} : Target{0.5, 0}},
            {"definition keystroke (2 words)", large ? Target{50, 150} : Target{10, 40}},
            {"VISUALIZZA TUTTO", large ? Target{60, 0} : Target{20, 0}},
            {"main window after the splash's tick", large ? Target{150, 0} : Target{50, 0}},
            {"save (with similarity check)", large ? Target{50, 0} : Target{20, 0}},
            // Kinds of the query mix.
            {"rare word, pasted", large ? Target{3, 10} : Target{1, 0}},
            {"widened by a backspace", large ? Target{50, 150} : Target{10, 40}}};
}

// The target of the named line, if it has one, marked "!" when the figures miss it.
QString targetText(const QMap<QString, Target> &wanted, const QString &name, double median, double p95)
{
    if (!wanted.contains(name))
        return {};
    const Target t = wanted[name];
    const bool met = median <= t.median && (t.p95 == 0 || p95 <= t.p95);
    return (t.p95 > 0 ? QStringLiteral("<=%1 (%2)").arg(t.median).arg(t.p95) : QStringLiteral("<=%1").arg(t.median)) +
           (met ? QString() : QStringLiteral("!"));
}

// Beside each kind, the same searches with every definition read, which is what the block index must beat.
void printQueryMix(const QMap<QString, Samples> &indexed, const QMap<QString, Samples> &scanned,
                   const QMap<QString, Target> &wanted)
{
    std::printf("\n  %-40s %10s %10s %12s %12s %12s %8s\n", "definition search", "median", "p95", "target",
                "scan med", "scan p95", "ratio");
    for (const QString &kind : MixKinds) {
        const double med = percentile(indexed[kind], 0.5), p95 = percentile(indexed[kind], 0.95);
        const double smed = percentile(scanned[kind], 0.5);
        std::printf("  %-40s %8.2fms %8.2fms %12s %10.2fms %10.2fms %7.1fx\n", qPrintable(kind), med, p95,
                    qPrintable(targetText(wanted, kind, med, p95)), smed, percentile(scanned[kind], 0.95),
                    med > 0 ? smed / med : 0.0);
    }
}

// A row of the large table: a large term selected with a definition search active, the target its median
// must meet (0: none).
struct LargeSelection {
    LargeCase large;
    QString search;
    double target;
};

// "strazio luce" occurs all through the text; "a" marks about one character in ten.
const QList<LargeSelection> LargeSelections = {{{1, true}, QStringLiteral("strazio luce"), 100},
                                               {{5, true}, QStringLiteral("strazio luce"), 0},
                                               {{50, true}, QStringLiteral("strazio luce"), 1000},
                                               {{1, false}, QStringLiteral("strazio luce"), 0},
                                               {{5, false}, QStringLiteral("strazio luce"), 0},
                                               {{5, false}, QStringLiteral("a"), 1000}};

// Selecting each large term in the shown window, until the view has painted what it shows.
void measureLargeDefinitions(const QString &folder, int reps, int upToMegabytes)
{
    QDir().mkpath(folder);
    glossaryFile(folder, 0);
    // The program holds one glossary: the copy of the last size's is let go, as a start-up finds it.
    ConnectionPool::clear();
    malloc_trim(0);
    store::setAppPath(folder);
    ConnectionPool::setEnabled(true);
    Form1 form;
    form.CaricaLista();
    form.show();
    QCoreApplication::processEvents();
    std::printf("\nTerms with large definitions, selected in the shown window with a definition search active\n");
    std::printf("  %-32s %-14s %8s %10s %10s %10s\n", "selection", "search", "marks", "median", "p95", "target");
    for (const LargeSelection &s : LargeSelections) {
        const LargeCase &c = s.large;
        if (c.megabytes > upToMegabytes)
            continue;
        // The search narrows the list: the rows are found in the list it leaves.
        form.Txt_Search_Def->setText(s.search);
        QStringList listed;
        for (int i = 0; i < form.List1[0]->model()->rowCount(); ++i)
            listed.append(form.List1[0]->model()->index(i, 0).data().toString());
        const int row = int(listed.indexOf(c.term()));
        const int small = int(listed.indexOf(QStringLiteral("voce breve")));
        Samples samples;
        for (int r = 0; r < (c.megabytes >= 50 ? qMin(reps, 3) : qMin(reps, 10)); ++r) {
            selectRow(form, small);
            QCoreApplication::processEvents();
            samples.append(timed([&] {
                selectRow(form, row);
                QCoreApplication::processEvents();
                form.RichTextBox1->viewport()->repaint();
            }));
        }
        const qsizetype marks =
            Form1::Evidenzia(form.TextDEFINIZIONE->Text(), QString(s.search).replace(u' ', u'|')).size();
        const double med = percentile(samples, 0.5);
        std::printf("  %-32s %-14s %8lld %8.2fms %8.2fms %10s  %.0f ms per MB\n", qPrintable(c.term().mid(8)),
                    qPrintable(s.search), static_cast<long long>(marks), med, percentile(samples, 0.95),
                    s.target > 0 ? qPrintable(QStringLiteral("<=%1%2").arg(s.target).arg(med <= s.target ? "" : "!"))
                                 : "",
                    med / c.megabytes);
        std::fflush(stdout);
    }
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
    QList<int> sizes = {200000, 1000000};
    int reps = 20;
    int largeUpTo = 50;
    int splashMs = 4000;
    bool literalToo = true;
    QString dataFolder = QDir::tempPath() + QStringLiteral("/zorvane-bench");
    QString jetFile = QStringLiteral(ZORVANE_JET_FIXTURES "/glossario-2003.mdb");
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--sizes") && i + 1 < args.size()) {
            sizes.clear();
            for (const QString &s : args[++i].split(u',', Qt::SkipEmptyParts))
                sizes.append(s.toInt());
        } else if (args[i] == QStringLiteral("--reps") && i + 1 < args.size()) {
            reps = args[++i].toInt();
        } else if (args[i] == QStringLiteral("--start-up-only")) {
            startUpOnly = true;
        } else if (args[i] == QStringLiteral("--terms-only")) {
            termsOnly = true;
        } else if (args[i] == QStringLiteral("--pooled-only")) {
            literalToo = false;
        } else if (args[i] == QStringLiteral("--large-up-to") && i + 1 < args.size()) {
            largeUpTo = args[++i].toInt();
        } else if (args[i] == QStringLiteral("--splash") && i + 1 < args.size()) {
            splashMs = args[++i].toInt();
        } else if (args[i] == QStringLiteral("--data") && i + 1 < args.size()) {
            dataFolder = args[++i];
        } else if (args[i] == QStringLiteral("--jet") && i + 1 < args.size()) {
            jetFile = args[++i];
        } else {
            std::fprintf(stderr, "uso: zorvane-bench [--sizes 200000,1000000] [--reps 20] [--pooled-only] "
                                 "[--start-up-only] [--terms-only] "
                                 "[--large-up-to MB] [--splash MS] [--data CARTELLA] [--jet FILE.mdb]\n");
            return 2;
        }
    }

    // The splash's four seconds are the time the window has to read the glossary before it appears.
    Form1::setSplashDelayForTesting(splashMs);
    int boxes = 0;
    MsgBox::setHandler([&boxes](const MsgBox::Request &request) {
        ++boxes;
        return (request.style & 7) == 4 ? int(MsgBox::vbYes) : int(MsgBox::vbOK);
    });

    if (QFile::exists(jetFile))
        measureCarryOver(jetFile, std::max(3, reps / 4));

    for (int size : sizes) {
        const QString folder = glossaryFolder(dataFolder, QString::number(size));
        QDir().mkpath(folder);
        const QString file = glossaryFile(folder, size);
        store::setAppPath(folder);
        const SearchWords words = searchWords(qMax(reps * 2, startUps(reps) + 1));
        std::printf("\n%d terms, file %.1f MB\n", size, double(QFile(file).size()) / 1e6);
        std::fflush(stdout);

        const Run pooled = measure(words, true, reps);
        const Run literal = literalToo ? measure(words, false, qMax(3, reps / 4)) : Run();
        std::printf("  %-40s %10s %10s %12s %12s %12s %8s\n", "operation", "median", "p95", "target", "literal med",
                    "literal p95", "ratio");
        const QMap<QString, Target> wanted = targets(size);
        for (const QString &name : Operations) {
            if (!pooled.samples.contains(name))
                continue;
            const auto it = pooled.samples.find(name);
            const double med = percentile(it.value(), 0.5), p95 = percentile(it.value(), 0.95);
            const Samples lit = literal.samples.value(it.key());
            const double lmed = percentile(lit, 0.5), lp95 = percentile(lit, 0.95);
            const QString target = targetText(wanted, it.key(), med, p95);
            std::printf("  %-40s %8.2fms %8.2fms %12s %10.2fms %10.2fms %7.1fx\n", qPrintable(it.key()), med, p95,
                        qPrintable(target), lmed, lp95, med > 0 ? lmed / med : 0.0);
        }
        const double memoryTarget = size >= 1000000 ? 750 : 250;
        std::printf("  peak resident memory during the pooled run: %.0f MB, target <=%.0f MB%s\n",
                    pooled.peak, memoryTarget, pooled.peak <= memoryTarget ? "" : "!");
        if (!startUpOnly && !termsOnly) {
            ConnectionPool::setEnabled(true);
            std::array<QMap<QString, Samples>, 2> mix;
            measureQueryMix(mix, words, reps);
            TableIndex::setDefinitionBlocksUsed(true);
            printQueryMix(mix[0], mix[1], wanted);
        }
        std::fflush(stdout);
    }
    if (largeUpTo > 0 && !startUpOnly && !termsOnly)
        measureLargeDefinitions(glossaryFolder(dataFolder, QStringLiteral("large")), reps, largeUpTo);
    std::printf("\n(%d message boxes answered; a target marked ! is missed)\n", boxes);
    return 0;
}
