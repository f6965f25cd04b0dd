#include "window/HistoryControl.h"

#include "window/LogPanel.h"
#include "window/MachineClock.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>

#include <algorithm>

namespace sm {

namespace {

// Every message takes three lines of the panel: its stamp, its text and an empty line.
constexpr qsizetype LinesPerMessage = 3;

// "1 ход", "3 хода", "11 ходов".
QString Moves(size_t Count) {
    const size_t Tens = Count % 100;
    const size_t Ones = Count % 10;
    const char16_t* Word = (Tens >= 11 && Tens <= 14) || Ones == 0 || Ones >= 5 ? u"ходов"
                           : Ones == 1                                          ? u"ход"
                                                                                : u"хода";
    return QStringLiteral("%1 %2").arg(Count).arg(QString::fromUtf16(Word));
}

} // namespace

// The past's messages are in the panel already: a replay of them writes nothing.
class THistoryControl::TFilter final : public TProtocolSink {
public:
    explicit TFilter(const THistoryControl& Control) : FControl(Control) {}
    void Message(const std::string& Text) override {
        if (FWriter && !(FControl.FHistory && FControl.FHistory->Replaying()))
            FWriter->Message(Text);
    }
    TProtocolSink* FWriter = nullptr;

private:
    const THistoryControl& FControl;
};

THistoryControl::THistoryControl(TMachineClock& Clock, TLogPanel& Log, QWidget* Window)
    : QObject(Window), FClock(Clock), FLog(Log), FWindow(Window),
      FFilter(std::make_unique<TFilter>(*this)) {
    FAsk = [this](size_t Dropped) {
        return QMessageBox::question(
                   FWindow, QStringLiteral("Действие в прошлом"),
                   QStringLiteral("Действие в прошлом отбросит %1 после этого момента.\n\n"
                                  "Продолжить?")
                       .arg(Moves(Dropped))) == QMessageBox::Yes;
    };
    FJumpAction = new QAction(QStringLiteral("Перейти к этому моменту"), this);
    FJumpAction->setObjectName(QStringLiteral("actJumpToMessage"));
    FJumpAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    // At the protocol's caret: only where the panel has the focus.
    FJumpAction->setShortcutContext(Qt::WidgetShortcut);
    Log.addAction(FJumpAction);
    Log.AddMenuAction(FJumpAction);
    connect(FJumpAction, &QAction::triggered, this, [this] { JumpToCaret(); });
    // The recorded future played to its end: the machine is at the latest moment again.
    connect(&FClock, &TMachineClock::PlaybackEnded, this, [this] {
        if (FPast)
            ToPresent();
    });
}

THistoryControl::~THistoryControl() = default;

TProtocolSink& THistoryControl::Sink(TProtocolSink& Writer) {
    FFilter->FWriter = &Writer;
    return *FFilter;
}

void THistoryControl::Begin(TSessionRecorder& Recorder) {
    FHistory.reset();
    FRecorder = &Recorder;
    FHistory = std::make_unique<THistory>(FClock.Time(), Recorder);
    FHistory->Recording = [this] { ToPresent(); };
    FReplayed.reset();
    FPast = false;
    FLog.SetPresent(-1);
    emit Moved();
}

size_t THistoryControl::Present() const {
    return FHistory->Present();
}

int64_t THistoryControl::End() const {
    return FPast ? FEnd : FClock.Now();
}

QString THistoryControl::JumpTo(size_t Moment) {
    if (!FPast && FClock.Playing())
        return Refuse(
            QStringLiteral("Сеанс из файла ещё играет: в прошлое можно, когда он кончится"));
    Moment = std::min(Moment, FHistory->Latest());
    if (!FPast) {
        FClock.CatchUp();
        emit PastEntered();
        FEnd = FClock.Now();
        FPast = true;
    }
    FClock.SetPaused(true);
    // From the moment before, so that the jump's own step lights the diagrams as F10 would.
    const size_t From = Moment == 0 ? 0 : Moment - 1;
    const THistoryMoment& Start = FHistory->Moment(From);
    FClock.Restore(FHistory->Rebuild(From));
    FHistory->Rewind(From);
    FBase = Start.Commands;
    FReplayed = std::make_unique<TSessionRecorder>(0, QDateTime());
    FClock.Door().Record(FReplayed.get());

    TCommandList Future;
    int Line = 0;
    int64_t At = Start.Ms;
    const auto WaitTo = [&](int64_t Until) {
        for (int64_t Left = Until - At; Left > 0; Left -= std::min(Left, LongestWait)) {
            TCommand Wait;
            Wait.Kind = TCommandKind::Wait;
            Wait.Milliseconds = std::min(Left, LongestWait);
            Wait.Line = ++Line;
            Future.push_back(Wait);
        }
        At = std::max(At, Until);
    };
    const std::vector<TRecordedCommand>& Commands = FRecorder->Commands();
    for (size_t Index = FBase; Index < Commands.size(); ++Index) {
        WaitTo(Commands[Index].Moment);
        TCommand Each = Commands[Index].Command;
        Each.Line = ++Line;
        Future.push_back(Each);
    }
    WaitTo(FEnd);
    FClock.Play(std::move(Future));
    while (FPast && FHistory->Present() < Moment && FClock.Step()) {
    }
    MarkPresent();
    emit Moved();
    return {};
}

QString THistoryControl::StepBack() {
    const size_t Present = FHistory->Present();
    // Between two moments the one just passed is the previous; at a moment, the one before it.
    const bool AtMoment = FClock.Now() == FHistory->Moment(Present).Ms;
    if (AtMoment && Present == 0)
        return Refuse(QStringLiteral("Это начало сеанса: назад некуда"));
    return JumpTo(AtMoment ? Present - 1 : Present);
}

QString THistoryControl::GoToEnd() {
    if (!FPast)
        return {};
    FClock.Restore(FHistory->RebuildEnd(FEnd));
    ToPresent();
    return {};
}

QString THistoryControl::JumpToCaret() {
    if (FLog.LineCount() == 0)
        return Refuse(QStringLiteral("В протоколе нет сообщений"));
    const qsizetype Line = FLog.LineAt(FLog.CaretOffset());
    return JumpTo(
        FHistory->MomentOfMessage(size_t(std::max<qsizetype>(Line, 0) / LinesPerMessage)));
}

bool THistoryControl::Fork() {
    if (!FPast)
        return true;
    const size_t Kept = FBase + FReplayed->Commands().size();
    const size_t Dropped =
        FRecorder->Commands().size() - std::min(Kept, FRecorder->Commands().size());
    if (Dropped > 0 && FAsk && !FAsk(Dropped))
        return false;
    TSessionRecorder Shorter = FRecorder->Truncated(FBase);
    for (const TRecordedCommand& Each : FReplayed->Commands())
        Shorter.Command(Each.Moment, Each.Command);
    *FRecorder = std::move(Shorter);
    FClock.StopPlayback();
    const size_t Present = FHistory->Present();
    FHistory->DropAfter(Present);
    FLog.Truncate(qsizetype(FHistory->Moment(Present).Messages) * LinesPerMessage);
    ToPresent();
    FClock.SetPaused(false);
    emit this->Forked();
    return true;
}

void THistoryControl::ToPresent() {
    if (!FPast)
        return;
    FPast = false;
    // Run to the end, the replay took the same commands the recorder holds.
    if (FHistory->Replaying())
        FHistory->DropAfter(FHistory->Latest());
    FClock.Door().Record(FRecorder);
    FReplayed.reset();
    FLog.SetPresent(-1);
    emit PresentReturned();
    emit Moved();
}

QString THistoryControl::Refuse(const QString& Why) {
    QApplication::beep();
    emit Refused(Why);
    return Why;
}

void THistoryControl::MarkPresent() {
    const qsizetype Written = qsizetype(FHistory->Moment(FHistory->Present()).Messages);
    FLog.SetPresent(Written * LinesPerMessage);
    // The first later line brought into view, with the present's own message above it.
    if (Written > 0)
        FLog.ShowMessage(Written * LinesPerMessage - 2);
}

} // namespace sm
