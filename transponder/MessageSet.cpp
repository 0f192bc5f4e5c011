#include "transponder/MessageSet.h"

namespace transponder::MessageSet {

namespace {

std::string choose(char letter, int index, std::initializer_list<std::string_view> values)
{
    if (index < 0 || index >= static_cast<int>(values.size())) return {};
    return Set(letter, *(values.begin() + index));
}

} // namespace

std::string Frame(std::string_view content)
{
    std::string frame;
    frame.reserve(content.size() + 2);
    frame += STX;
    frame += content;
    frame += ETX;
    return frame;
}

std::string Query(char letter)
{
    return Set(letter, "?");
}

std::string Set(char letter, std::string_view value)
{
    std::string content(1, letter);
    content += '=';
    content += value;
    return Frame(content);
}

std::string SetOperationalFunction(int index)
{
    return choose(OperationalFunction, index, {"t", "a", "c"});
}

std::string SetInterrogation(int index)
{
    return choose(Interrogation, index, {"y", "n"});
}

std::string SetVoltage(int index)
{
    return choose(Voltage, index, {"1", "2"});
}

std::string SetEncoderSource(int index)
{
    return choose(EncoderSource, index, {"g", "s"});
}

std::string TriggerIdent()
{
    return Set(Ident, "s");
}

std::string FirePing()
{
    return Set(Ping, "y");
}

} // namespace transponder::MessageSet
