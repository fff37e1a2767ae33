// The change notifier's mount thread: mounts, unmounts and media of
// mounted devices, told as the drive and media kinds of change.
#include "platform/shellns/shellapi.h"
#include "shell/Namespace.h"
#include "shell/ShellNotifier.h"

namespace ax {

TMountChangeThread::TMountChangeThread(TChangeDispatchThread& dispatch)
    : dispatch_(dispatch), known_(Snapshot()) {}

TMountChangeThread::~TMountChangeThread() {
    TerminateAndWait();
}

TMountChangeThread::Table TMountChangeThread::Snapshot() {
    Table table;
    for (const MountWatch::Mount& m : MountWatch::ReadMounts()) {
        Known k{m.major, m.minor, {}};
        // Only block devices have media (major 0 is a device of no hardware).
        if (m.major != 0) k.medium = MountWatch::ReadMedium(m.major, m.minor);
        table[m.mountPoint] = k;
    }
    return table;
}

void TMountChangeThread::Announce(TShellNotifyEvent kind, const std::string& mountPoint) {
    UniquePIDL pidl(PathToPIDL(Utf8ToWide(mountPoint)));
    if (pidl) dispatch_.AddEvent(TShellEvent::Create(kind, pidl.get()));
}

void TMountChangeThread::MountsChanged(Table& known) {
    Table now = Snapshot();
    for (const auto& [point, k] : known) {
        auto it = now.find(point);
        if (it != now.end() && it->second.major == k.major && it->second.minor == k.minor) continue;
        Announce(sneDriveRemoved, point);
        if (it == now.end()) Announce(sneUpdateDir, point);
    }
    for (const auto& [point, k] : now) {
        auto it = known.find(point);
        if (it != known.end() && it->second.major == k.major && it->second.minor == k.minor) continue;
        Announce(sneDriveAdd, point);
        Announce(sneUpdateDir, point);
    }
    known = std::move(now);
}

void TMountChangeThread::MediaChanged(Table& known, const std::vector<std::pair<unsigned, unsigned>>& devices) {
    for (const auto& [major, minor] : devices)
        for (auto& [point, k] : known) {
            if (k.major != major || k.minor != minor) continue;
            const MountWatch::Medium medium = MountWatch::ReadMedium(major, minor);
            if (medium == k.medium) continue;
            // A medium swapped goes before the next one comes.
            if (k.medium.present) Announce(sneMediaRemoved, point);
            if (medium.present) Announce(sneMediaInserted, point);
            k.medium = medium;
        }
}

void TMountChangeThread::Execute() {
    if (!watch_.Valid()) return; // no mount table to watch: this source stays silent
    Table known = std::move(known_);
    while (!Terminated()) {
        const MountWatch::Changes changes = watch_.Wait();
        if (Terminated()) break;
        if (changes.mounts) MountsChanged(known);
        if (!changes.media.empty()) MediaChanged(known, changes.media);
        if (changes.mounts || !changes.media.empty()) ++rounds_;
    }
}

} // namespace ax
