#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace sm {

// The only error that leaves an automaton's handling: a read or a replace outside the list.
class EListError : public std::out_of_range {
public:
    explicit EListError(int32_t Index);
};

// An ordered list of UTF-8 strings indexed from 0.
class TStringList {
public:
    void Add(std::string Text);
    void Put(int32_t Index, std::string Text);
    const std::string& Get(int32_t Index) const;
    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }

private:
    void Check(int32_t Index) const;

    std::vector<std::string> FItems;
};

} // namespace sm
