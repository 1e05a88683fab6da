// Times the results window's size work on a large catalog: one step of a frame drag (the
// proportional move of the controls, the grid's relayout and repaint together), and one size
// query answered from a limits table that many showings have grown. Each figure is the
// median of several runs, in milliseconds.
//
// Usage: bench_resize CATALOG.mdb   (runs offscreen unless a platform is chosen)

#include "bench/window_bench_support.h"
#include "catalog/listing/query.h"
#include "catalog/shared_state.h"
#include "results_window/frm_software.h"
#include "window_services/services.h"
#include "window_services/window_limits.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kDragSteps = 60;
constexpr int kDragStepPixels = 7;
constexpr int kQueries = 200;
const int kTableSizes[] = {10, 1000, 20000};

}  // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    if (const int stop = prepareAllTitles(argc, argv, "bench_resize"))
        return stop;
    QuietServices quiet;
    Services &services = quiet.services;
    const auto form = std::make_shared<frmSoftware>(services, allTitles(), allTitlesTitle());
    form->Form_Load();
    if (form->isUnloaded() || !rsSoftware || !rsSoftware->isOpen())
        return 1;
    form->show();
    QApplication::processEvents();
    std::printf("listing: %d rows\n", rsSoftware->RecordCount());

    // A drag: the frame grows step by step, then shrinks back the same way.
    std::vector<double> steps;
    const QSize start = form->size();
    for (int i = 1; i <= kDragSteps; ++i) {
        const int delta = (i <= kDragSteps / 2 ? i : kDragSteps - i) * kDragStepPixels;
        steps.push_back(millisecondsOf([&] {
            form->resize(start + QSize(delta, delta / 2));
            form->repaint();
            QApplication::processEvents();
        }));
    }
    std::printf("drag step (resize, relayout, repaint): %.3f ms\n", median(steps));

    for (const int records : kTableSizes) {
        resetWindowLimitsTable();
        const auto window = std::make_shared<QWidget>();
        for (int i = 0; i < records; ++i)
            SetWindowLimits(window, 1500, 1500, 6000, 6000);
        std::vector<double> queries;
        for (int i = 0; i < kQueries; ++i) {
            MINMAXINFO info;
            queries.push_back(millisecondsOf([&] { LimitsWindowProc(window->winId(), info); }));
        }
        std::printf("size query, table of %d records: %.4f ms\n", records, median(queries));
    }
    return 0;
}
