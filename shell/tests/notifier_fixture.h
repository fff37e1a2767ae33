#pragma once
// A private home (shellns_fixture.h), a manual clock, the headless display
// and an application with a form, for the tests of the change notifier and
// the icon thread. Controls that record what is posted to them.
#include "bounded_wait.h"
#include "framework/forms.h"
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "shell/ShellNotifier.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"
#include "shellns_fixture.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace ax::test {

inline std::string Pidl(PCItemIDList p) {
    return ax::testing::PidlString(p);
}

// What one WM_SHELLNOTIFY carried.
struct SeenEvent {
    TShellNotifyEvent kind;
    std::string pidl1; // bytes
    std::string pidl2;
    uint32_t dword1 = 0;
    uint32_t dword2 = 0;
};
struct SeenBatch {
    TShellEventList* list = nullptr;
    int refCountOnArrival = 0;
    std::vector<SeenEvent> events;
    std::vector<std::pair<std::string, std::string>> renames; // bytes before, after
    bool changesLost = false;
};

// A control that records the batches posted to it and releases each at
// once, unless told to hold them.
class Listener : public TWinControl {
public:
    explicit Listener(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 50, 50); }
    std::vector<SeenBatch> batches;
    bool hold = false;
    std::vector<TShellEventList*> held;
    void ReleaseHeld() {
        for (TShellEventList* l : held)
            l->Release();
        held.clear();
    }

protected:
    void WndProc(TMessage& m) override {
        if (m.Msg != WM_SHELLNOTIFY) return TWinControl::WndProc(m);
        auto* list = reinterpret_cast<TShellEventList*>(m.WParam);
        SeenBatch seen{list, list->RefCount(), {}, {}, list->ChangesLost()};
        for (const auto& e : *list)
            seen.events.push_back({e->Kind, Pidl(e->PIDL1.get()), Pidl(e->PIDL2.get()), e->DWord1,
                                   e->DWord2});
        for (const TRenamedItem& r : list->Renames())
            seen.renames.emplace_back(Pidl(r.Old.get()), Pidl(r.New.get()));
        batches.push_back(std::move(seen));
        if (hold)
            held.push_back(list);
        else
            list->Release();
    }
};

class NotifierTest : public ax::testing::TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        SetClock(&clock);
        SelectDisplay(DisplayKind::Headless);
        ShellUtilitiesFinalize();
        app = std::make_unique<TApplication>(nullptr);
        form = app->CreateForm<TForm>();
        dir = root + "/work";
        mkdir(dir.c_str(), 0755);
    }
    void TearDown() override {
        // Whatever a failed test left registered must not outlive it.
        try {
            ChangeNotifier().UnRegisterAll();
            ShellNotifierFinalize();
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        app.reset();
        Pump();
        ShellUtilitiesFinalize();
        SetClock(nullptr);
        TempHome::TearDown();
    }
    Listener* MakeListener() {
        auto* l = TComponent::Create<Listener>(form);
        l->SetParent(form);
        l->HandleNeeded();
        return l;
    }
    static void Pump() {
        MSG m;
        while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(m);
            DispatchMessage(m);
        }
    }
    TShellChangeNotifier& Notifier() { return static_cast<TShellChangeNotifier&>(ChangeNotifier()); }
    TChangeDispatchThread& Dispatch() {
        TChangeDispatchThread* d = Notifier().DispatchThread();
        EXPECT_NE(d, nullptr) << "no dispatch thread";
        return *d;
    }
    // Lets quiet periods pass until listener has count batches. Every event
    // the test expects in them must already be with the dispatch thread.
    bool WaitForBatches(Listener* listener, size_t count) {
        return WaitUntil([&] {
            clock.Advance(ShellNotifyQuietMs);
            Pump();
            return listener->batches.size() >= count;
        });
    }
    bool WaitForEvents(uint64_t count) {
        return WaitUntil([&] { return Dispatch().EventsReceived() >= count; });
    }
    std::string Folder(const std::string& name) {
        const std::string path = dir + "/" + name;
        mkdir(path.c_str(), 0755);
        return path;
    }
    // The PIDL bytes of an existing path, as the desktop parses it.
    static std::string Parsed(const std::string& path) {
        UniquePIDL p(PathToPIDL(Utf8ToWide(path)));
        EXPECT_TRUE(p) << path;
        return Pidl(p.get());
    }

    ManualClock clock;
    std::unique_ptr<TApplication> app;
    TForm* form = nullptr;
    std::string dir;
};

} // namespace ax::test
