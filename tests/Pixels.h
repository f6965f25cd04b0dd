#pragma once

#include <QImage>

#include <algorithm>
#include <cstdlib>

namespace sm {

// The largest difference in any channel, alpha included, of two pictures of one size: pictures
// drawn on another machine may round a blended pixel one unit the other way.
inline int LargestChannelDifference(const QImage& A, const QImage& B) {
    const QImage Left = A.convertToFormat(QImage::Format_ARGB32);
    const QImage Right = B.convertToFormat(QImage::Format_ARGB32);
    int Largest = 0;
    for (int Y = 0; Y < Left.height(); ++Y)
        for (int X = 0; X < Left.width(); ++X) {
            const QRgb L = Left.pixel(X, Y), R = Right.pixel(X, Y);
            Largest =
                std::max({Largest, std::abs(qRed(L) - qRed(R)), std::abs(qGreen(L) - qGreen(R)),
                          std::abs(qBlue(L) - qBlue(R)), std::abs(qAlpha(L) - qAlpha(R))});
        }
    return Largest;
}

} // namespace sm
