// Fuzz target: the layout loader over arbitrary layout text, followed by a layout pass
// and a paint of whatever tree it built.
//
// The first two input bytes choose the client size (1 to 256 pixels each way); the rest
// is the layout. Building must either fail with an error text or give a tree that lays
// out and paints without a fault; a failure must never come without its reason.

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "framework/label.h"
#include "framework/layout_builder.h"
#include "framework/paint_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const int width = data[0] + 1;
    const int height = data[1] + 1;
    const std::string_view xml(reinterpret_cast<const char*>(data + 2), size - 2);
    Framework::CPaintManager manager;
    std::wstring error;
    auto root = Framework::CLayoutBuilder::Build(
        xml, &manager,
        [](std::wstring_view element) -> Framework::CControl* {
            return element.size() % 2 == 0 ? new Framework::CLabel() : nullptr;
        },
        &error);
    if (!root) {
        if (error.empty()) std::abort();
        return 0;
    }
    manager.AttachDialog(std::move(root));
    Framework::LRESULT result = 0;
    manager.MessageHandler(Framework::WM_SIZE, Framework::SIZE_RESTORED, Framework::MakePointParam(width, height), result);
    cairo_surface_t* surface = manager.RenderToNewSurface();
    cairo_surface_destroy(surface);
    // Every named control must be found again by its name (the first of that name wins).
    std::vector<Framework::CControl*> stack{manager.GetRoot()};
    while (!stack.empty()) {
        Framework::CControl* control = stack.back();
        stack.pop_back();
        if (!control->GetName().empty() && !manager.FindControl(control->GetName())) std::abort();
        for (int i = 0; i < control->GetCount(); ++i) stack.push_back(control->GetItemAt(i));
    }
    for (const auto& [name, value] : manager.GetWindowAttributes()) {
        if (!manager.GetWindowAttribute(name)) std::abort();
    }
    return 0;
}
