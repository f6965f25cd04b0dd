#include "slotmachine/Vocabulary.h"

#include "automaton/Automaton.h"

#include <utility>

namespace sm {

// "Монетоприемник" has е here, while A1's state 0 below has ё.
const char* const AutomatonName[3] = {"Игровая машина", "Монетоприемник", "Игровые барабаны"};

namespace {

const char* const A0StateNames[] = {"Ожидание", "Прием жетонов", "Игра", "Ошибка", "Выдача жетона"};
const char* const A1StateNames[] = {"Монетоприёмник пуст", "Жетон принят", "Жетон не распознан"};
const char* const A2StateNames[] = {"Барабаны остановлены", "Барабаны запущены",
                                    "Первый барабан остановлен", "Второй барабан остановлен"};

// In the order they are set. e0 has the Cyrillic А and a colon; e11 and e12 the Latin A.
const std::pair<int32_t, const char*> EventNames[] = {
    {e0, "(от автомата А0): Начало игры"},
    {e22, "Сработал таймер первого барабана"},
    {e23, "Сработал таймер второго барабана"},
    {e5, "Сработал таймер третьего барабана"},
    {e1, "Нажата кнопка 'Игра'"},
    {e2, "Нажата кнопка 'Возврат денег'"},
    {e3, "Нажата кнопка 'Тех. Сброс'"},
    {e6, "Выдан жетон из банка"},
    {e10, "Опущен жетон"},
    {e11, "(от автомата A1) Опущен жетон"},
    {e12, "(от автомата A0) Перевести деньги в банк"},
};

template <size_t N> void AddAll(TStringList& List, const char* const (&Names)[N]) {
    for (const char* Name : Names)
        List.Add(Name);
}

} // namespace

void InstallNames(TAutomatonsDispatcher& Dispatcher) {
    AddAll(Dispatcher.FStateNames.at(A0), A0StateNames);
    AddAll(Dispatcher.FStateNames.at(A1), A1StateNames);
    AddAll(Dispatcher.FStateNames.at(A2), A2StateNames);
    for (int32_t Event = 0; Event < EventSlots; ++Event)
        Dispatcher.FEventNames.Add("");
    for (const auto& [Event, Name] : EventNames)
        Dispatcher.FEventNames.Put(Event, Name);
}

std::string UnknownStateMessage(int32_t Automaton, int32_t Event, int32_t State) {
    return "Ошибка в автомате A" + std::to_string(Automaton) + " при обработке события e" +
           std::to_string(Event) + ": неизвестное состояние " + std::to_string(State);
}

} // namespace sm
