#include "diagram/SequenceDrawing.h"

#include "slotmachine/Machine.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QTime>

#include <algorithm>

namespace sm {

namespace {

QString Stamp(int64_t Moment) {
    return QTime(0, 0)
        .addMSecs(static_cast<int>(Moment % (int64_t{24} * 3600 * 1000)))
        .toString(QStringLiteral("HH:mm:ss.zzz"));
}

} // namespace

TSequenceDrawing::TSequenceDrawing(const TMachine& Machine, const QFont& Font) : FMachine(Machine) {
    SetFont(Font);
}

void TSequenceDrawing::SetFont(const QFont& Font) {
    FFont = Font;
    const QFontMetrics Metrics(Font);
    FRow = Metrics.height() * 2 + 4;
    FStampWidth = Metrics.horizontalAdvance(QStringLiteral("00:00:00.000")) + 12;
}

TSequenceDrawing::TLifeline TSequenceDrawing::SenderLifeline(const TStepSender& Sender) {
    switch (Sender.Kind) {
    case TStepSender::TKind::Automaton:
        return static_cast<TLifeline>(LifeA0 + Sender.Automaton);
    case TStepSender::TKind::Timer:
        return Timers;
    case TStepSender::TKind::Player:
    case TStepSender::TKind::Unknown:
        break;
    }
    return Player;
}

void TSequenceDrawing::Append(std::vector<TRecordedStep> Steps) {
    for (TRecordedStep& Step : Steps) {
        const qsizetype Index = Count();
        // An arrow of the same depth or shallower closes the blocks it is not nested in.
        while (!FOpen.empty() && FArrows[static_cast<size_t>(FOpen.back())].Depth >= Step.Depth)
            FOpen.pop_back();
        TArrow Arrow{.Moment = Step.Moment,
                     .Automaton = Step.Automaton,
                     .Event = Step.Event,
                     .From = Step.From,
                     .To = Step.To,
                     .Row = Step.Row.value_or(-1),
                     .Sender = Step.Sender,
                     .Depth = Step.Depth,
                     .Parent = FOpen.empty() ? -1 : FOpen.back(),
                     .Last = Index,
                     .Message = -1};
        if (!Step.Messages.empty()) {
            const auto [Known, Added] = FMessageNumbers.try_emplace(
                std::move(Step.Messages.front()), static_cast<int32_t>(FMessages.size()));
            if (Added)
                FMessages.push_back(&Known->first);
            Arrow.Message = Known->second;
        }
        for (const qsizetype Open : FOpen)
            FArrows[static_cast<size_t>(Open)].Last = Index;
        FArrows.push_back(Arrow);
        FOpen.push_back(Index);
    }
}

void TSequenceDrawing::DropAfter(int64_t Moment) {
    const auto Later = std::find_if(FArrows.begin(), FArrows.end(),
                                    [Moment](const TArrow& Each) { return Each.Moment > Moment; });
    const auto Kept = static_cast<qsizetype>(Later - FArrows.begin());
    FArrows.erase(Later, FArrows.end());
    // A cascade lies within its millisecond: no kept block had arrows dropped from it.
    std::erase_if(FOpen, [Kept](qsizetype Open) { return Open >= Kept; });
}

void TSequenceDrawing::Clear() {
    FArrows.clear();
    FOpen.clear();
    FMessages.clear();
    FMessageNumbers.clear();
}

const std::string& TSequenceDrawing::Message(qsizetype Index) const {
    static const std::string None;
    const int32_t Number = Arrow(Index).Message;
    return Number < 0 ? None : *FMessages[static_cast<size_t>(Number)];
}

QString TSequenceDrawing::StateName(int32_t Automaton, int32_t State) const {
    const auto& Lists = FMachine.AutomatonsDispatcher().FStateNames;
    if (Automaton < 0 || static_cast<size_t>(Automaton) >= Lists.size())
        return {};
    const TStringList& Names = Lists[static_cast<size_t>(Automaton)];
    return State >= 0 && State < Names.Count() ? QString::fromStdString(Names.Get(State))
                                               : QString();
}

QString TSequenceDrawing::Label(qsizetype Index) const {
    const TArrow& Each = Arrow(Index);
    const TStringList& Names = FMachine.AutomatonsDispatcher().FEventNames;
    const QString Name = Each.Event >= 0 && Each.Event < Names.Count()
                             ? QString::fromStdString(Names.Get(Each.Event))
                             : QString();
    return QStringLiteral("e%1 \"%2\"").arg(Each.Event).arg(Name);
}

QString TSequenceDrawing::SenderText(const TStepSender& Sender) const {
    if (Sender.Kind == TStepSender::TKind::Player || Sender.Kind == TStepSender::TKind::Unknown)
        return QStringLiteral("Игрок");
    return QString::fromStdString(SenderName(Sender));
}

QString TSequenceDrawing::Sentence(qsizetype Index) const {
    const TArrow& Each = Arrow(Index);
    QString Text = QStringLiteral("%1 посылает A%2 событие %3")
                       .arg(SenderText(Each.Sender))
                       .arg(Each.Automaton)
                       .arg(Label(Index));
    if (Each.From != Each.To)
        Text += QStringLiteral(". A%1: %2 → %3").arg(Each.Automaton).arg(Each.From).arg(Each.To);
    return Text;
}

int TSequenceDrawing::LifelineX(int Lifeline, const TView& View) const {
    const int Column = std::max(MinColumn, (View.Width - FStampWidth) / LifelineCount);
    return FStampWidth + Column * Lifeline + Column / 2 - View.Left;
}

QRect TSequenceDrawing::RowIn(qsizetype Index, const TView& View) const {
    const qint64 Top = qint64(FRow) * (Index + 1) - View.Top;
    return {0, static_cast<int>(std::clamp<qint64>(Top, -FRow, View.Height + FRow)), View.Width,
            FRow};
}

TPicture TSequenceDrawing::Picture(int Width, const QPalette& Colours, qsizetype Selected,
                                   int64_t Now) const {
    return {
        .Size = QSize(std::max(Width, MinWidth()), static_cast<int>(Height())),
        .Background = Colours.color(QPalette::Base),
        .Draw = [this, Colours, Selected, Now](QPainter& Painter, const QRect& Part, bool Heading) {
            Draw(Painter, {Part.top(), Part.left(), Part.width(), Part.height(), Heading}, Colours,
                 Selected, Now);
        }};
}

void TSequenceDrawing::Draw(QPainter& Painter, const TView& View, const QPalette& Colours,
                            qsizetype Selected, int64_t Now) const {
    const int Width = View.Width;
    const int Height = View.Height;
    const QFontMetrics Metrics(FFont);
    const int Line = Metrics.height();
    Painter.setFont(FFont);

    // Only the rows in view, and the blocks they are nested in, are visited.
    const qsizetype First = std::max<qsizetype>(0, View.Top / FRow - 1);
    const qsizetype End = std::min(Count(), First + Height / FRow + 3);

    QPen Lifeline(Colours.color(QPalette::Mid), 1, Qt::DashLine);
    Painter.setPen(Lifeline);
    for (int Each = 0; Each < LifelineCount; ++Each)
        Painter.drawLine(LifelineX(Each, View), 0, LifelineX(Each, View), Height);

    // Activations: the blocks open over the first row first, then those that start in view.
    std::vector<qsizetype> Blocks;
    if (First < End)
        for (qsizetype Open = Arrow(First).Parent; Open >= 0; Open = Arrow(Open).Parent)
            Blocks.push_back(Open);
    std::reverse(Blocks.begin(), Blocks.end());
    for (qsizetype Index = First; Index < End; ++Index)
        Blocks.push_back(Index);
    Painter.setPen(Colours.color(QPalette::Dark));
    for (const qsizetype Index : Blocks) {
        const TArrow& Each = Arrow(Index);
        const int X = LifelineX(LifeA0 + Each.Automaton, View) - 5 + 3 * std::min(Each.Depth, 4);
        const int Top = RowIn(Index, View).top() + FRow / 2;
        const int Bottom = RowIn(Each.Last, View).bottom() - 2;
        Painter.setBrush(Colours.color(QPalette::AlternateBase));
        Painter.drawRect(X, Top, 9, std::max(4, Bottom - Top));
    }

    for (qsizetype Index = First; Index < End; ++Index) {
        const TArrow& Each = Arrow(Index);
        const QRect Row = RowIn(Index, View);
        if (Index == Selected)
            Painter.fillRect(Row, Colours.color(QPalette::Highlight).lighter(170));
        Painter.setPen(Colours.color(QPalette::Text));
        if (Each.Depth == 0) {
            // A cascade starts: its stamp at the left and a rule across.
            Painter.setPen(Colours.color(QPalette::Mid));
            Painter.drawLine(0, Row.top(), Width, Row.top());
            Painter.setPen(Colours.color(QPalette::Text));
            Painter.drawText(QRect(4, Row.top(), FStampWidth - 8, Line), Qt::AlignLeft,
                             Stamp(Each.Moment));
        }
        const int From = LifelineX(SenderLifeline(Each.Sender), View);
        const int To = LifelineX(LifeA0 + Each.Automaton, View);
        const int Y = Row.top() + FRow / 2;
        Painter.drawLine(From, Y, To, Y);
        const int Head = To > From ? -7 : 7;
        QPainterPath Point;
        Point.moveTo(To, Y);
        Point.lineTo(To + Head, Y - 4);
        Point.lineTo(To + Head, Y + 4);
        Point.closeSubpath();
        Painter.fillPath(Point, Colours.color(QPalette::Text));
        const QString Text =
            Metrics.elidedText(Label(Index), Qt::ElideRight, std::abs(To - From) - 8);
        Painter.drawText(QRect(std::min(From, To) + 4, Y - Line - 1, std::abs(To - From) - 8, Line),
                         Qt::AlignHCenter, Text);
        if (Each.From != Each.To) {
            const QString Change = QStringLiteral("%1 → %2 %3")
                                       .arg(Each.From)
                                       .arg(Each.To)
                                       .arg(StateName(Each.Automaton, Each.To));
            const QRect Frame(To + 10, Y + 2, Metrics.horizontalAdvance(Change) + 8, Line);
            Painter.setBrush(Colours.color(QPalette::ToolTipBase));
            Painter.setPen(Colours.color(QPalette::Dark));
            Painter.drawRoundedRect(Frame, 3, 3);
            Painter.setPen(Colours.color(QPalette::ToolTipText));
            Painter.drawText(Frame, Qt::AlignCenter, Change);
        }
    }

    // The present moment, below the last arrow.
    const int Present = RowIn(Count(), View).top() + FRow / 2;
    Painter.setPen(QPen(Colours.color(QPalette::Highlight), 2));
    Painter.drawLine(0, Present, Width, Present);
    Painter.drawText(QRect(4, Present + 2, FStampWidth, Line), Qt::AlignLeft,
                     Stamp(Now).chopped(4));

    // The lifelines' names stay at the top.
    if (!View.Heading)
        return;
    const QRect Header(0, 0, Width, FRow);
    Painter.fillRect(Header, Colours.color(QPalette::Window));
    Painter.setPen(Colours.color(QPalette::WindowText));
    const QString Names[LifelineCount] = {QStringLiteral("Игрок"), QStringLiteral("A0"),
                                          QStringLiteral("A1"), QStringLiteral("A2"),
                                          QStringLiteral("Таймеры")};
    for (int Each = 0; Each < LifelineCount; ++Each)
        Painter.drawText(QRect(LifelineX(Each, View) - MinColumn / 2, 0, MinColumn, FRow),
                         Qt::AlignCenter, Names[Each]);
}

} // namespace sm
