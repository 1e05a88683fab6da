// Times the results window on a large catalog: the load of the all-titles listing, one
// filter keystroke (filter, count line and grid repaint together), a header-click sort and
// the jump to the last row. Each figure is the median of several runs, in milliseconds.
//
// Usage: bench_results CATALOG.mdb   (runs offscreen unless a platform is chosen)

#include "bench/window_bench_support.h"
#include "catalog/listing/query.h"
#include "catalog/shared_state.h"
#include "detail_window/frm_detail.h"
#include "window_services/cut_label.h"
#include "results_window/frm_software.h"
#include "window_services/services.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kLoadRepeats = 3;

// Wall times, and the processor time of the whole process beside them (both threads when
// the work is shared out): on a shared machine the wall time carries other people's load.
struct Figures {
    std::vector<double> times;
    std::vector<double> cpu;
    void add(const std::function<void()> &work)
    {
        const double before = processMilliseconds();
        times.push_back(millisecondsOf(work));
        cpu.push_back(processMilliseconds() - before);
    }
    static double medianOf(std::vector<double> values)
    {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0.0 : values[values.size() / 2];
    }
    double median() const { return medianOf(times); }
    double worst() const { return times.empty() ? 0.0 : *std::max_element(times.begin(), times.end()); }
};

void report(const char *what, const Figures &figures)
{
    std::printf("%-52s median %8.2f ms   worst %8.2f ms   processor: median %8.2f worst %8.2f ms   (%zu runs)\n",
                what, figures.median(), figures.worst(), Figures::medianOf(figures.cpu),
                figures.cpu.empty() ? 0.0 : *std::max_element(figures.cpu.begin(), figures.cpu.end()),
                figures.times.size());
}

// The last `count` runs' wall and processor times, to say which of them the worst figures are.
QString lastOf(const Figures &figures, qsizetype count)
{
    QStringList runs;
    for (size_t i = figures.times.size() - size_t(count); i < figures.times.size(); ++i)
        runs << QString::number(figures.times[i], 'f', 1) + QLatin1Char('/') + QString::number(figures.cpu[i], 'f', 1);
    return runs.join(QLatin1Char(' '));
}

// What the user sees change: the grid's visible cells and the two labels, painted now.
void paint(frmSoftware &form)
{
    form.dtgOrg->viewport()->repaint();
    form.lblOrg->repaint();
    form.lblSort->repaint();
}

}  // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    if (const int stop = prepareAllTitles(argc, argv, "bench_results"))
        return stop;
    QuietServices quiet;
    Services &services = quiet.services;

    // The first statement also loads the tables into the engine; time it on its own.
    Figures firstLoad, load;
    std::unique_ptr<frmSoftware> form;
    for (int i = 0; i <= kLoadRepeats; ++i) {
        form.reset();
        (i == 0 ? firstLoad : load).add([&] {
            form = std::make_unique<frmSoftware>(services, allTitles(), allTitlesTitle());
            form->Form_Load();
            form->show();
            QApplication::processEvents();
            paint(*form);
        });
    }
    const int rows = form->dtgOrg->model()->rowCount();
    std::printf("catalog %s: %d titles listed (%s)\n", qPrintable(QFileInfo(QString::fromLocal8Bit(argv[1])).fileName()), rows,
                qPrintable(form->lblOrg->text()));
    for (int row : {0, 1, rows / 2, rows - 1})
        std::printf("  row %d: %s | %s\n", row,
                    qPrintable(form->dtgOrg->model()->index(row, 0).data().toString()),
                    qPrintable(form->dtgOrg->model()->index(row, 13).data().toString()));
    report("load, first listing (tables loaded into the engine)", firstLoad);
    report("load, all-titles listing, shown and painted", load);

    // Words typed letter by letter into an empty search box, alternating begins-with and
    // contains. Each keystroke is one change of the box and filters all the client-side rows
    // again; the text never goes empty while a word is typed, so no keystroke requeries.
    Figures keystroke, firstLetter, furtherLetter;
    struct Word {
        const char *text;
        bool contains;
    };
    const Word words[] = {{"manager", false}, {"backup 6", true}, {"zip", false},
                          {"archive 1", true}, {"99", true}};
    for (const Word &word : words) {
        // Mode first, while the box still holds text, so only the clear requeries.
        (word.contains ? form->optContains : form->optBegins)->setChecked(true);
        form->txtSearch->clear();
        const QString text = QString::fromLatin1(word.text);
        for (int length = 1; length <= text.size(); ++length) {
            keystroke.add([&] {
                form->txtSearch->setText(text.left(length));
                paint(*form);
            });
            Figures &split = length == 1 ? firstLetter : furtherLetter;
            split.times.push_back(keystroke.times.back());
            split.cpu.push_back(keystroke.cpu.back());
        }
        std::printf("  typed %-10s %-9s %-16s wall/processor ms a letter: %s\n", qPrintable(QLatin1Char('"') + text + QLatin1Char('"')),
                    word.contains ? "contains" : "begins", qPrintable(form->lblOrg->text()),
                    qPrintable(lastOf(keystroke, text.size())));
    }
    report("filter keystroke (filter + count line + repaint)", keystroke);
    report("  first letter", firstLetter);
    report("  each further letter", furtherLetter);

    // The same keystrokes on the recordset alone: what of the above is the data layer's.
    Figures filterOnly;
    for (const Word &word : words) {
        const QString text = QString::fromLatin1(word.text);
        for (int length = 1; length <= text.size(); ++length) {
            const QString pattern = word.contains ? QStringLiteral("Name LIKE '*%1*'")
                                                  : QStringLiteral("Name LIKE '%1*'");
            filterOnly.add([&] { rsSoftware->setFilter(pattern.arg(text.left(length))); });
        }
        std::printf("  filtered %-10s wall/processor ms a letter: %s\n", qPrintable(QLatin1Char('"') + text + QLatin1Char('"')),
                    qPrintable(lastOf(filterOnly, text.size())));
    }
    report("  of which Recordset::setFilter alone", filterOnly);

    Figures clearing;
    clearing.add([&] {
        form->txtSearch->clear();
        paint(*form);
    });
    report("search box emptied (filter removed, requery)", clearing);

    Figures sort;
    const int sortColumns[] = {0, 2, 12, 13, 3, 0, 2};
    for (int column : sortColumns) {
        sort.add([&] {
            form->dtgOrg_HeadClick(static_cast<qint16>(column));
            paint(*form);
        });
        std::printf("  click on %-14s %8.2f ms   %s\n",
                    qPrintable(form->dtgOrg->model()->headerData(column, Qt::Horizontal).toString()), sort.times.back(),
                    qPrintable(form->lblSort->text()));
    }
    report("header-click sort (+ sort line + repaint)", sort);

    Figures scroll;
    for (int i = 0; i < 3; ++i) {
        scroll.add([&] {
            QTableView *grid = form->dtgOrg;
            grid->setCurrentIndex(grid->model()->index(grid->model()->rowCount() - 1, 0));
            grid->scrollToBottom();
            paint(*form);
        });
        form->dtgOrg->scrollToTop();
        paint(*form);
    }
    report("scroll to the last row (current row moved, repaint)", scroll);

    // The detail window on the first, the middle and the last title of the grid, as Select
    // opens it on the current row: built, loaded, shown and painted.
    Figures detail;
    for (int row : {0, rows / 2, rows - 1}) {
        QTableView *grid = form->dtgOrg;
        grid->setCurrentIndex(grid->model()->index(row, 0));
        QString shown;
        detail.add([&] {
            frmDetail window(services, form.get());
            window.Form_Load();
            window.show();
            QApplication::processEvents();
            window.repaint();
            shown = window.txtName->text() + QStringLiteral(" | ") + window.lblPrice->text();
        });
        std::printf("  detail of row %d: %s\n", row, qPrintable(shown));
    }
    report("detail window (built, loaded, shown, painted)", detail);
    return 0;
}
