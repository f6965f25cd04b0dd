#include "window/Placement.h"

#include <algorithm>
#include <array>

namespace sm {

QRect PlaceBeside(const QRect& Room, const QRect& Main, QSize Wanted, QSize Useful) {
    Wanted = Wanted.boundedTo(Room.size());
    Useful = Useful.boundedTo(Wanted);
    // In line with the main window as far as the screen lets it.
    const auto Across = [&](int Width) {
        return std::clamp(Main.left(), Room.left(), Room.left() + Room.width() - Width);
    };
    const auto Down = [&](int Height) {
        return std::clamp(Main.top(), Room.top(), Room.top() + Room.height() - Height);
    };
    const int Below = Room.bottom() - Main.bottom();
    const int Above = Main.top() - Room.top();
    const int Right = Room.right() - Main.right();
    const int Left = Main.left() - Room.left();
    std::array<QRect, 4> Sides;
    if (const int Height = std::min(Wanted.height(), Below); Height >= Useful.height())
        Sides[0] = QRect(Across(Wanted.width()), Main.bottom() + 1, Wanted.width(), Height);
    if (const int Height = std::min(Wanted.height(), Above); Height >= Useful.height())
        Sides[1] = QRect(Across(Wanted.width()), Main.top() - Height, Wanted.width(), Height);
    if (const int Width = std::min(Wanted.width(), Right); Width >= Useful.width())
        Sides[2] = QRect(Main.right() + 1, Down(Wanted.height()), Width, Wanted.height());
    if (const int Width = std::min(Wanted.width(), Left); Width >= Useful.width())
        Sides[3] = QRect(Main.left() - Width, Down(Wanted.height()), Width, Wanted.height());
    const auto Area = [](const QRect& Rect) {
        return static_cast<long long>(Rect.width()) * Rect.height();
    };
    const QRect* Best = &Sides[0];
    for (const QRect& Side : Sides)
        if (Area(Side) > Area(*Best))
            Best = &Side;
    if (Area(*Best) > 0)
        return *Best;
    const int Top = Below >= Above ? Room.top() + Room.height() - Wanted.height() : Room.top();
    return {Across(Wanted.width()), Top, Wanted.width(), Wanted.height()};
}

QMargins FrameMargins(const QRect& Frame, const QRect& Inside) {
    return {std::max(0, Inside.left() - Frame.left()), std::max(0, Inside.top() - Frame.top()),
            std::max(0, Frame.right() - Inside.right()),
            std::max(0, Frame.bottom() - Inside.bottom())};
}

} // namespace sm
