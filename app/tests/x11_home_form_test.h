// The main window on a home of its own under a private display: the
// fixture of the tests that move files between the window and other
// programs. The home holds an empty Music folder; a second folder beside it
// plays the other program's.
#pragma once

#include "app/MainForm.h"
#include "explorer/ExplorerViews.h"
#include "pane_points.h"
#include "x11_program.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace ax::test {

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class X11HomeFormTest : public X11FormTest {
protected:
    // Makes <temp>/<prefix><pid>/home (HOME while the test runs) and
    // <temp>/<prefix><pid>/<beside>; then the display's set-up.
    void SetUpHome(const std::string& prefix, const std::string& beside) {
        namespace fs = std::filesystem;
        // Only letters, digits, "-", "." and "/": the URIs need no escapes.
        folder = (fs::temp_directory_path() / (prefix + std::to_string(getpid()))).string();
        fs::remove_all(folder);
        home = folder + "/home";
        other = folder + "/" + beside;
        for (const std::string& d : {home + "/Music", other})
            fs::create_directories(d);
        savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", home.c_str(), 1);
    }
    void TearDown() override {
        X11FormTest::TearDown();
        setenv("HOME", savedHome.c_str(), 1);
        std::filesystem::remove_all(folder);
    }
    TForm* Build(TApplication& app) override {
        main = app.CreateForm<TMainform>();
        testing::QuietPane(main->ExpTree);
        testing::QuietPane(main->ExpList);
        main->SetRootPath(home);
        return main;
    }

    // Screen points of an item's caption in the list and in the tree's
    // first level; {-1, -1} when it is not shown.
    POINT InList(const std::string& name) {
        return program->Get<POINT>([&, this] {
            PDataNode node = testing::ChildNamed(main->ExpList, nullptr, name);
            return node ? main->ExpList->ClientToScreen(testing::CaptionPoint(main->ExpList, node))
                        : POINT{-1, -1};
        });
    }
    POINT InTree(const std::string& name) {
        return program->Get<POINT>([&, this] {
            PDataNode node = testing::ChildNamed(main->ExpTree, main->ExpTree->GetFirst(), name);
            return node ? main->ExpTree->ClientToScreen(testing::CaptionPoint(main->ExpTree, node))
                        : POINT{-1, -1};
        });
    }

    // Shows the window named title of another program beside the tree, over
    // the list's right part; answers its place. Asked again until it holds:
    // the window manager may place the window after the first request.
    Xvfb::Geometry PlaceBesideTheTree(const std::string& title) {
        std::vector<unsigned long> found;
        EXPECT_TRUE(server.WaitFor([&] { return !(found = server.WindowsNamed(title)).empty(); }))
            << title << " did not show its window";
        Xvfb::Geometry g{};
        if (found.empty()) return g;
        EXPECT_TRUE(server.WaitFor([&] {
            g = server.WindowGeometry(found.front());
            const bool placed = g.viewable && g.x >= 450 && g.y >= 250;
            if (!placed) server.MoveResize(found.front(), 500, 300, 250, 200);
            return placed;
        })) << title << "'s window was not moved beside the tree";
        return g;
    }

    // Presses at from and moves to to as a hand does: past the drag
    // threshold first, then in 25 steps; the button stays down.
    void PressAndMove(POINT from, POINT to) {
        server.MoveTo(from.x, from.y);
        server.Button(1, true);
        for (int i = 1; i <= 3; ++i) server.MoveTo(from.x + i * 3, from.y + i * 2);
        for (int i = 1; i <= 25; ++i)
            server.MoveTo(from.x + (to.x - from.x) * i / 25, from.y + (to.y - from.y) * i / 25);
    }

    std::string folder, home, other, savedHome;
    TMainform* main = nullptr;
};

} // namespace ax::test
