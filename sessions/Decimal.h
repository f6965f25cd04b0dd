#pragma once

#include <QStringView>

#include <cstdint>
#include <optional>
#include <type_traits>

namespace sm {

// A number as a user writes one in a script, an option or a test's action: decimal digits only
// (no sign, no blank, no base prefix, no other script's digits), at most twelve of them, from
// Lowest to Highest. Twelve digits cannot overflow the sum.
template <class T>
std::optional<T> ParseDecimal(QStringView Text, T Lowest, std::type_identity_t<T> Highest) {
    static_assert(std::is_integral_v<T> && (sizeof(T) < sizeof(int64_t) || std::is_signed_v<T>),
                  "every value fits int64_t");
    if (Text.isEmpty() || Text.size() > 12)
        return std::nullopt;
    int64_t Value = 0;
    for (const QChar Char : Text) {
        if (Char < u'0' || Char > u'9')
            return std::nullopt;
        Value = Value * 10 + (Char.unicode() - u'0');
    }
    if (Value < static_cast<int64_t>(Lowest) || Value > static_cast<int64_t>(Highest))
        return std::nullopt;
    return static_cast<T>(Value);
}

} // namespace sm
