#include "framework/layout_builder.h"

#include <pugixml.hpp>

#include <cstring>

#include "framework/attribute_values.h"
#include "framework/button.h"
#include "framework/check_box.h"
#include "framework/combo.h"
#include "framework/container.h"
#include "framework/edit.h"
#include "framework/label.h"
#include "framework/paint_manager.h"
#include "framework/progress.h"
#include "framework/text.h"
#include "platform/text_encoding.h"

namespace Framework {

namespace {

// Larger windows than any screen are refused (X11 sizes are 16-bit).
constexpr int kLargestWindow = 16384;

std::wstring Wide(const char* utf8) { return Platform::Utf8ToWide(utf8 ? std::string_view(utf8) : std::string_view()); }

class Builder {
public:
    Builder(CPaintManager* manager, const CLayoutBuilder::CustomControlFactory& factory)
        : manager_(manager), factory_(factory) {}

    std::unique_ptr<CControl> Control(const pugi::xml_node& node, int depth, bool& tooDeep) {
        if (depth > CLayoutBuilder::kDeepestNesting) {
            tooDeep = true;
            return nullptr;
        }
        const std::wstring element = Wide(node.name());
        std::unique_ptr<CControl> control = CLayoutBuilder::CreateBuiltIn(element);
        if (!control && factory_) control.reset(factory_(element));
        if (!control) return nullptr;
        // Children first, so containers know their pages when their attributes apply.
        if (auto* container = static_cast<CContainer*>(control->GetInterface(L"Container"))) {
            for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
                if (child.type() != pugi::node_element) continue;
                auto item = Control(child, depth + 1, tooDeep);
                if (tooDeep) return nullptr;
                if (item) container->Add(std::move(item));
            }
        } else if (auto* combo = static_cast<CCombo*>(control->GetInterface(L"Combo"))) {
            for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
                if (child.type() != pugi::node_element) continue;
                combo->AddItem(Wide(child.attribute("text").value()));
            }
        }
        for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
            control->SetAttribute(Wide(a.name()), Wide(a.value()));
        }
        return control;
    }

    void Window(const pugi::xml_node& window) {
        for (pugi::xml_attribute a = window.first_attribute(); a; a = a.next_attribute()) {
            const std::wstring name = Wide(a.name());
            const std::wstring value = Wide(a.value());
            if (name == L"size") {
                if (auto s = ParseSize(value); s && s->cx > 0 && s->cy > 0 && s->cx <= kLargestWindow && s->cy <= kLargestWindow) {
                    manager_->SetInitSize(*s);
                }
            } else if (name == L"caption") {
                if (auto r = ParseRect(value)) manager_->SetCaptionRect(*r);
            } else if (name == L"roundcorner") {
                if (auto s = ParseSize(value); s && s->cx >= 0 && s->cy >= 0) manager_->SetRoundCorner(*s);
            } else {
                manager_->SetWindowAttribute(name, value);
            }
        }
    }

    void Font(const pugi::xml_node& node) {
        FontSpec font;
        int id = -1;
        bool isDefault = false;
        for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
            const std::wstring name = Wide(a.name());
            const std::wstring value = Wide(a.value());
            if (name == L"id") {
                if (auto v = ParseInteger(value); v && *v >= 0) id = *v;
            } else if (name == L"name") {
                font.name = value;
            } else if (name == L"size") {
                if (auto v = ParseInteger(value); v && *v > 0 && *v <= 500) font.size = *v;
            } else if (name == L"bold") {
                font.bold = ParseBool(value);
            } else if (name == L"underline") {
                font.underline = ParseBool(value);
            } else if (name == L"italic") {
                font.italic = ParseBool(value);
            } else if (name == L"default") {
                isDefault = ParseBool(value);
            }
        }
        if (id >= 0 || isDefault) manager_->AddFont(id, font, isDefault);
    }

private:
    CPaintManager* manager_;
    const CLayoutBuilder::CustomControlFactory& factory_;
};

}  // namespace

std::unique_ptr<CControl> CLayoutBuilder::CreateBuiltIn(std::wstring_view e) {
    if (e == L"Control") return std::make_unique<CControl>();
    if (e == L"Container") return std::make_unique<CContainer>();
    if (e == L"VerticalLayout") return std::make_unique<CVerticalLayout>();
    if (e == L"HorizontalLayout") return std::make_unique<CHorizontalLayout>();
    if (e == L"TabLayout") return std::make_unique<CTabLayout>();
    if (e == L"Label") return std::make_unique<CLabel>();
    if (e == L"Text") return std::make_unique<CText>();
    if (e == L"Button") return std::make_unique<CButton>();
    if (e == L"CheckBox" || e == L"Option") return std::make_unique<CCheckBox>();
    if (e == L"Edit") return std::make_unique<CEdit>();
    if (e == L"Progress") return std::make_unique<CProgress>();
    if (e == L"Combo") return std::make_unique<CCombo>();
    return nullptr;
}

std::unique_ptr<CControl> CLayoutBuilder::Build(std::string_view xml, CPaintManager* manager,
                                                const CustomControlFactory& factory, std::wstring* error) {
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) {
        if (error) {
            long line = 1;
            for (std::ptrdiff_t i = 0; i < parsed.offset && i < static_cast<std::ptrdiff_t>(xml.size()); ++i) {
                if (xml[static_cast<std::size_t>(i)] == '\n') ++line;
            }
            *error = L"line " + std::to_wstring(line) + L": " + Wide(parsed.description());
        }
        return nullptr;
    }
    const pugi::xml_node window = document.document_element();
    if (std::strcmp(window.name(), "Window") != 0) {
        if (error) *error = L"the document element is not Window";
        return nullptr;
    }
    Builder builder(manager, factory);
    builder.Window(window);
    std::unique_ptr<CControl> root;
    for (pugi::xml_node child = window.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        if (std::strcmp(child.name(), "Font") == 0) {
            builder.Font(child);
            continue;
        }
        if (root) continue;  // one content tree per window: the first control
        bool tooDeep = false;
        root = builder.Control(child, 1, tooDeep);
        if (tooDeep) {
            if (error) *error = L"elements nested deeper than " + std::to_wstring(kDeepestNesting);
            return nullptr;
        }
    }
    if (!root) root = std::make_unique<CContainer>();
    return root;
}

}  // namespace Framework
