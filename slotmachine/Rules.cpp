#include "slotmachine/Rules.h"

namespace sm {

int32_t SymbolOfFrame(int32_t Frame) {
    // Frame 0 shows the 1 like frame 60; it is never shown once the barrel has spun.
    if (Frame <= 3 || Frame >= 57)
        return 1;
    if (Frame <= 10)
        return 2;
    if (Frame <= 16)
        return 3;
    if (Frame <= 23)
        return 4;
    if (Frame <= 30)
        return 5;
    if (Frame <= 37)
        return 6;
    // Frame 43 is three frames past the 7 and four before the 8: the 7 still fills most of the
    // window, so it stays a 7.
    if (Frame <= 43)
        return 7;
    if (Frame <= 49)
        return 8;
    return 9;
}

int32_t SnapFrameOf(int32_t Symbol) {
    // The 1 snaps to the end of the turn, since frame 0 is never shown once the barrel has spun.
    return Symbol == 1 ? BarrelDigitFrames.back()
                       : BarrelDigitFrames[static_cast<std::size_t>(Symbol - 1)];
}

int32_t NextSpinFrame(int32_t Frame) {
    return Frame == 60 ? 1 : Frame + 1;
}

int32_t WinFor(int32_t S1, int32_t S2, int32_t S3, int32_t Stake) {
    struct TTriple {
        int32_t A, B, C;
    };
    // In barrel order only; the last is 4, 5, 1.
    static constexpr TTriple Combinations[] = {
        {1, 2, 3}, {2, 3, 4}, {3, 4, 5}, {6, 7, 8}, {4, 5, 1}};

    if (S1 == 7 && S2 == 7 && S3 == 7)
        return 10 * Stake;
    if (S1 == S2 && S2 == S3)
        return 5 * Stake;
    for (const auto& C : Combinations)
        if (S1 == C.A && S2 == C.B && S3 == C.C)
            return 7 * Stake;
    if (S1 == S2 || S2 == S3 || S1 == S3)
        return 4 * Stake;
    if (S1 == 7)
        return Stake + 1;
    if (S1 == 1 || S1 == 3 || S1 == 5 || S1 == 9)
        return 1;
    return 0;
}

} // namespace sm
