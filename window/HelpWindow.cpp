#include "window/HelpWindow.h"

#include "window/FormMain.h"

#include <QAction>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace sm {

namespace {

QString KeysOf(const QAction& Action) {
    QStringList Texts;
    for (const QKeySequence& Key : Action.shortcuts())
        Texts << Key.toString(QKeySequence::NativeText).toHtmlEscaped();
    return Texts.join(QStringLiteral(", "));
}

// Every key the window binds, under the name its action shows: whatever is added later is
// listed too.
QString KeyRows(const QWidget& Window) {
    QString Rows;
    for (const QAction* Action : Window.actions()) {
        const QString Keys = KeysOf(*Action);
        if (Keys.isEmpty())
            continue;
        QString Name = Action->text();
        Name.remove(u'&');
        if (Name.endsWith(u'…'))
            Name.chop(1);
        Rows += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                    .arg(Keys, Name.toHtmlEscaped());
    }
    return Rows;
}

} // namespace

THelpWindow::THelpWindow(TSlotMachine& Window)
    : QWidget(&Window, Qt::Window), FWindow(Window), FText(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Справка — SlotMachine"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    FText->setObjectName(QStringLiteral("HelpText"));
    FText->setAccessibleName(QStringLiteral("Справка"));
    FText->setOpenLinks(false);
    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->addWidget(FText);
    resize(560, 520);
    // Esc closes it, as a dialog would.
    auto* Close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(Close, &QShortcut::activated, this, &QWidget::close);
    Refresh();
}

void THelpWindow::Refresh() {
    FText->setHtml(
        QStringLiteral(
            "<h2>Игровой автомат</h2>"
            "<p>Три автомата — A0 «Игровая машина», A1 «Жетоноприёмник» и A2 «Игровые "
            "барабаны» — пишут протокол своей работы в панель посередине окна. Щелчок по жетону "
            "игрока опускает его в приёмник, «Игра» запускает и останавливает барабаны, "
            "«Возврат» отдаёт ставку, «Тех. сброс» восстанавливает опустевший банк. Списки с "
            "галочками справа выбирают, какие сообщения каждый автомат пишет в протокол.</p>"
            "<h3>Клавиши</h3>"
            "<p>Клавиши действуют, где бы ни был фокус в окне; подсказки у жетонов и кнопок "
            "называют их так же.</p>"
            "<table cellspacing=\"4\">%1</table>"
            "<h3>Меню</h3>"
            "<p>Правый щелчок по свободному месту окна или по протоколу, клавиша Menu или "
            "Shift+F10 открывают меню: «Автоматы» (диаграммы состояний), «Открыть сеанс…», "
            "«Сохранить сеанс…», «Сохранить протокол…». Меню протокола ещё копирует текст.</p>"
            "<h3>Часы</h3>"
            "<p>Время машины идёт по настенным часам; его можно остановить (пауза), пройти "
            "шагами до следующего события автомата, замедлить и ускорить. На паузе щелчки и "
            "клавиши игры принимаются в то мгновение, на котором машина стоит.</p>"
            "<h3>Сеансы</h3>"
            "<p>Всё, что делает игрок, записывается с запуска как сценарий сеанса. Сохранённый "
            "сеанс проигрывается в окне («Открыть сеанс…», или файл в командной строке) и "
            "командой <code>slotmachine-cli replay</code> даёт тот же протокол.</p>"
            "<p>Сеанс хранится и в файле восстановления в папке состояния пользователя "
            "(<code>$XDG_STATE_HOME/slotmachine</code>): закрывая окно, программа спрашивает, "
            "сохранить ли сеанс, а после сбоя предлагает при следующем запуске восстановить "
            "его, сохранить в файл или удалить.</p>"
            "<h3>Подробнее</h3>"
            "<p><code>man slotmachine</code>, <code>man slotmachine-cli</code>.</p>")
            .arg(KeyRows(FWindow)));
}

void AddHelp(TSlotMachine& Window) {
    auto* Help = new QAction(QStringLiteral("Справка"), &Window);
    Help->setObjectName(QStringLiteral("actHelp"));
    Help->setShortcut(QKeySequence(Qt::Key_F1));
    Help->setShortcutContext(Qt::WindowShortcut);
    Window.addAction(Help);
    QObject::connect(Help, &QAction::triggered, &Window, [&Window] {
        auto* Shown = Window.findChild<THelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
        if (!Shown)
            Shown = new THelpWindow(Window);
        else
            Shown->Refresh();
        Shown->show();
        Shown->raise();
        Shown->activateWindow();
        Shown->Text()->setFocus();
    });
}

} // namespace sm
