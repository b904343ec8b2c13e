#pragma once
// A notification from a control to its window: "click", "selectchanged", "tabselect",
// "itemselect", "timer", or a type the window code makes up itself.

#include <cstdint>
#include <string>

#include "framework/geometry.h"
#include "framework/window_messages.h"

namespace Framework {

class CControl;

struct TNotifyUI {
    std::wstring sType;
    CControl* pSender = nullptr;
    std::uint32_t dwTimestamp = 0;
    Point ptMouse;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Receives the notifications of a window's controls, on the window thread.
class INotifyUI {
public:
    virtual ~INotifyUI() = default;
    virtual void Notify(TNotifyUI& msg) = 0;
};

}  // namespace Framework
