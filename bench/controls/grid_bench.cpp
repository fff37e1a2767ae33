// The sort grid at scale: sorting 100,000 rows by a text and by a numeric
// column, against std::stable_sort of the same keys measured in the same
// run; and scrolling a 100,000-row grid page by page at its start and at
// its end. Each figure is the median of REPS runs (default 5), in CPU time
// of the calling thread.
//
//   grid_bench [REPS]
#include <algorithm>
#include <charconv>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "controls/SortGrid.h"
#include "framework/forms.h"
#include "platform/window/display.h"

namespace ax {
namespace {

constexpr int kRows = 100000;

// Time spent by this thread: the machine may be shared, and the sort and
// the painting run on the calling thread only.
struct Clock {
    using time_point = double;
    static double now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
    }
};

double Seconds(double a, double b) { return b - a; }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Keys {
    std::vector<std::string> text, numbers;
    Keys() {
        std::mt19937 rng(2024);
        const char* letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
        std::uniform_real_distribution<double> value(-1e6, 1e6);
        char buf[64];
        for (int i = 0; i < kRows; ++i) {
            std::string s;
            const int n = 6 + int(rng() % 10);
            for (int k = 0; k < n; ++k) s += letters[rng() % 52];
            text.push_back(s + ".dat");
            std::snprintf(buf, sizeof buf, "%.3f", value(rng));
            numbers.push_back(buf);
        }
    }
};

void Fill(TSortGrid& g, const Keys& keys) {
    for (int i = 0; i < kRows; ++i) {
        g.SetCells(0, i + 1, keys.text[size_t(i)]);
        g.SetCells(1, i + 1, keys.numbers[size_t(i)]);
    }
}

bool Sorted(TSortGrid& g, int col, bool numeric) {
    for (int r = 2; r < g.RowCount(); ++r) {
        const AnsiString a = g.Cells(col, r - 1), b = g.Cells(col, r);
        if (numeric ? std::strtod(a.c_str(), nullptr) > std::strtod(b.c_str(), nullptr)
                    : CompareText(a, b) > 0 && LowerCase(a) > LowerCase(b))
            return false;
    }
    return true;
}

// A grid holding the keys, loaded once as a program loads it.
TSortGrid* Loaded(TApplication& app, const Keys& keys) {
    auto* grid = TComponent::Create<TSortGrid>(&app);
    grid->SetColCount(2);
    grid->SetRowCount(kRows + 1);
    Fill(*grid, keys);
    return grid;
}

double TimeSort(TSortGrid& grid, int col, TSortStyle style) {
    grid.SortOptions().SortStyle = style;
    const double t0 = Clock::now();
    grid.SortByColumn(col);
    const double t = Clock::now() - t0;
    if (!Sorted(grid, col, style == ssNumeric)) std::fprintf(stderr, "sort by column %d wrong\n", col);
    return t;
}

void SortBench(TApplication& app, int reps) {
    const Keys keys;
    std::vector<double> gridText, gridNumber, gridTextAgain, gridNumberAgain;
    std::vector<double> peerText, peerNumberText, peerDecorated, peerNumber;
    for (int rep = 0; rep < reps; ++rep) {
        // A freshly loaded grid, then the same grid by the other column
        // (its rows now lie in the first sort's order).
        TSortGrid* a = Loaded(app, keys);
        gridText.push_back(TimeSort(*a, 0, ssNormal));
        gridNumberAgain.push_back(TimeSort(*a, 1, ssNumeric));
        a->Free();
        TSortGrid* b = Loaded(app, keys);
        gridNumber.push_back(TimeSort(*b, 1, ssNumeric));
        gridTextAgain.push_back(TimeSort(*b, 0, ssNormal));
        b->Free();

        std::vector<std::string> text = keys.text;
        double t0 = Clock::now();
        std::stable_sort(text.begin(), text.end());
        peerText.push_back(Clock::now() - t0);

        std::vector<std::string> numberText = keys.numbers;
        t0 = Clock::now();
        std::stable_sort(numberText.begin(), numberText.end(), [](const std::string& x, const std::string& y) {
            return std::strtod(x.c_str(), nullptr) < std::strtod(y.c_str(), nullptr);
        });
        peerNumberText.push_back(Clock::now() - t0);

        // Each key converted once, then sorted with its position.
        t0 = Clock::now();
        std::vector<std::pair<double, int>> decorated;
        decorated.reserve(keys.numbers.size());
        for (size_t i = 0; i < keys.numbers.size(); ++i) {
            double v = 0;
            const std::string& k = keys.numbers[i];
            std::from_chars(k.data(), k.data() + k.size(), v);
            decorated.push_back({v, int(i)});
        }
        std::stable_sort(decorated.begin(), decorated.end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
        peerDecorated.push_back(Clock::now() - t0);

        std::vector<double> numbers;
        for (const std::string& k : keys.numbers) numbers.push_back(std::strtod(k.c_str(), nullptr));
        t0 = Clock::now();
        std::stable_sort(numbers.begin(), numbers.end());
        peerNumber.push_back(Clock::now() - t0);
    }
    const double gt = Median(gridText), gn = Median(gridNumber);
    const double gta = Median(gridTextAgain), gna = Median(gridNumberAgain);
    const double pt = Median(peerText), pnt = Median(peerNumberText), pd = Median(peerDecorated);
    const double pn = Median(peerNumber);
    std::printf("Sorting %d rows (median of %d runs, CPU time of the thread)\n", kRows, reps);
    std::printf("  std::stable_sort of the text keys (strings, operator<)          %7.1f ms\n", pt * 1e3);
    std::printf("  std::stable_sort of the numeric keys (strings, by value)         %7.1f ms\n", pnt * 1e3);
    std::printf("  std::stable_sort of the numeric keys, each converted once first %7.1f ms\n", pd * 1e3);
    std::printf("  std::stable_sort of the numeric keys already as double          %7.1f ms\n", pn * 1e3);
    std::printf("  grid, text column, freshly loaded     %7.1f ms | ratio to the text keys %.2f\n", gt * 1e3,
                gt / pt);
    std::printf("  grid, text column, after another sort %7.1f ms | ratio to the text keys %.2f\n", gta * 1e3,
                gta / pt);
    std::printf("  grid, numeric column, freshly loaded     %7.1f ms | ratio %.2f / %.2f / %.2f\n", gn * 1e3,
                gn / pnt, gn / pd, gn / pn);
    std::printf("  grid, numeric column, after another sort %7.1f ms | ratio %.2f / %.2f / %.2f\n", gna * 1e3,
                gna / pnt, gna / pd, gna / pn);
    std::printf("  (numeric ratios: to the strings by value / converted once / already double)\n");
}

void ScrollBench(TApplication& app, int reps) {
    TForm* form = app.CreateForm<TForm>();
    form->SetBounds(0, 0, 500, 400);
    auto* grid = TComponent::Create<TSortGrid>(form);
    grid->SetBounds(0, 0, 480, 360);
    grid->SetColCount(4);
    grid->SetRowCount(kRows + 1);
    for (int r = 1; r <= kRows; ++r)
        for (int c = 0; c < 4; ++c) grid->SetCells(c, r, "cell " + std::to_string(r) + "/" + std::to_string(c));
    grid->SetParent(form);
    form->Show();
    app.ProcessMessages();
    constexpr int kPages = 200;
    const int page = grid->VisibleRowCount();
    auto run = [&](int firstTop) {
        grid->SetTopRow(firstTop);
        app.ProcessMessages();
        const auto t0 = Clock::now();
        for (int i = 0; i < kPages; ++i) {
            grid->Perform(WM_VSCROLL, SB_PAGEDOWN);
            app.ProcessMessages(); // paints what scrolled into view
        }
        return Seconds(t0, Clock::now()) / kPages;
    };
    std::vector<double> start, end;
    for (int rep = 0; rep < reps; ++rep) {
        start.push_back(run(1));
        end.push_back(run(kRows - (kPages + 2) * page));
    }
    const double s = Median(start), e = Median(end);
    std::printf("Scrolling a %d-row grid, %d screens of %d rows per run (median of %d runs)\n", kRows, kPages,
                page, reps);
    std::printf("  per screenful at the start %.1f us | at the end %.1f us | end / start %.2f\n", s * 1e6, e * 1e6,
                e / s);
}

} // namespace
} // namespace ax

int main(int argc, char** argv) {
    using namespace ax;
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    SelectDisplay(DisplayKind::Headless);
    SetTestFont(true);
    TApplication app(nullptr);
    SortBench(app, reps);
    ScrollBench(app, reps);
    return 0;
}
