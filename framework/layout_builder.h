#pragma once
// Builds a window's control tree from an XML layout: the Window element's attributes
// (size, caption, roundcorner, the font table, other attributes kept by name) go to the
// paint manager, and the first control element under Window becomes the root.
//
// Unknown elements are offered to the custom-control factory; when it gives nothing the
// element and everything under it are left out. Unknown attributes are ignored. Used on
// the window thread.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "framework/control.h"

namespace Framework {

class CPaintManager;

class CLayoutBuilder {
public:
    using CustomControlFactory = std::function<CControl*(std::wstring_view element)>;

    // Deepest nesting of elements accepted; deeper layouts are refused as malformed
    // rather than risking the stack.
    static constexpr int kDeepestNesting = 200;

    // Parses `xml` (UTF-8). Returns the root control, or nullptr with `error` set when
    // the text is not well-formed XML or its document element is not Window. A Window
    // without any control gives an empty container.
    static std::unique_ptr<CControl> Build(std::string_view xml, CPaintManager* manager,
                                           const CustomControlFactory& factory, std::wstring* error);

    // The built-in control for an element name, or nullptr.
    static std::unique_ptr<CControl> CreateBuiltIn(std::wstring_view element);
};

}  // namespace Framework
