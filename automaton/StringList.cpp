#include "automaton/StringList.h"

namespace sm {

EListError::EListError(int32_t Index)
    : std::out_of_range("List index out of bounds (" + std::to_string(Index) + ")") {}

void TStringList::Add(std::string Text) {
    FItems.push_back(std::move(Text));
}

void TStringList::Put(int32_t Index, std::string Text) {
    Check(Index);
    FItems[static_cast<size_t>(Index)] = std::move(Text);
}

const std::string& TStringList::Get(int32_t Index) const {
    Check(Index);
    return FItems[static_cast<size_t>(Index)];
}

void TStringList::Check(int32_t Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError(Index);
}

} // namespace sm
