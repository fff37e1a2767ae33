#pragma once
// The message-box flags and answers, in one place: the shell's boxes, the
// message beep and the control library's boxes all speak these values.
#include <cstdint>

namespace ax {

// Buttons, default button and foreground.
inline constexpr uint32_t MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2, MB_YESNOCANCEL = 0x3,
                          MB_YESNO = 0x4, MB_RETRYCANCEL = 0x5, MB_DEFBUTTON1 = 0x000, MB_DEFBUTTON2 = 0x100,
                          MB_DEFBUTTON3 = 0x200, MB_DEFBUTTON4 = 0x300, MB_SETFOREGROUND = 0x10000;
// Icons, which are also the message beep's kinds; and the simple beep.
inline constexpr uint32_t MB_ICONHAND = 0x00000010, MB_ICONSTOP = 0x00000010, MB_ICONERROR = 0x00000010,
                          MB_ICONQUESTION = 0x00000020, MB_ICONEXCLAMATION = 0x00000030,
                          MB_ICONWARNING = 0x00000030, MB_ICONASTERISK = 0x00000040,
                          MB_ICONINFORMATION = 0x00000040, MB_SIMPLEBEEP = 0xFFFFFFFF;
// Answers.
inline constexpr int IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7;

} // namespace ax
