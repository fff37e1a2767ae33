#pragma once
// The message-box service: the display shows the shell's message boxes
// through it. Until a display installs one, the headless recorder answers.
#include "platform/ole/msgbox.h"

#include <cstdint>
#include <string>

namespace ax {

// Message boxes (flags and answers: platform/ole/msgbox.h).
class IMessageBoxService {
public:
    virtual ~IMessageBoxService() = default;
    virtual int MessageBox(uintptr_t owner, const std::u16string& text,
                           const std::u16string& caption, uint32_t flags) = 0;
};
void SetMessageBoxService(IMessageBoxService* service); // nullptr: headless
IMessageBoxService& MessageBoxService();

} // namespace ax
