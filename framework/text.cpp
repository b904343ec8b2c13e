#include "framework/text.h"

namespace Framework {

std::wstring_view CText::GetClass() const { return L"Text"; }

void* CText::GetInterface(std::wstring_view name) {
    if (name == L"Text") return this;
    return CLabel::GetInterface(name);
}

}  // namespace Framework
