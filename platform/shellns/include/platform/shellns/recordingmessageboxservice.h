#pragma once
// The headless message-box service: it records every box and answers as a
// person pressing Enter would, or as a test queued. Safe to use from any
// thread.
#include "platform/shellns/messageboxservice.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace ax {

// The headless service: records every box and answers as a person
// pressing Enter would (the default button: IDOK, IDYES...), unless a test
// queued the answers to give first.
class RecordingMessageBoxService final : public IMessageBoxService {
public:
    struct Box {
        std::u16string text;
        std::u16string caption;
        uint32_t flags = 0;
    };
    int MessageBox(uintptr_t owner, const std::u16string& text, const std::u16string& caption,
                   uint32_t flags) override;
    void Answer(int id);
    std::vector<Box> Boxes() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<Box> boxes_;
    std::deque<int> answers_;
};

} // namespace ax
