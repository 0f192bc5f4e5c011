#pragma once

#include <array>
#include <string>
#include <string_view>

// The transponder's message set: every frame the panel and the command-line
// tool send is built here and nowhere else. A frame is STX, a letter, "=", a
// value and ETX; the value "?" asks for the item's current value, any other
// value sets it.
namespace transponder::MessageSet {

inline constexpr char STX = '\x02';
inline constexpr char ETX = '\x03';

// Item letters.
inline constexpr char Altitude = 'a';
inline constexpr char AssignedCode = 'c';
inline constexpr char EncoderSource = 'd';
inline constexpr char VoltageOffset = 'f';
inline constexpr char Ident = 'i';
inline constexpr char Ping = 'p';
inline constexpr char Interrogation = 'r';
inline constexpr char OperationalFunction = 's';
inline constexpr char Voltage = 'v';
inline constexpr char FirmwareVersion = 'z';
inline constexpr char InterrogationReport = '*';

// The automatic sequence asks for these items in this order; "e", "l", "n", "o"
// and "u" are asked for but not shown.
inline constexpr std::array<char, 14> SequenceLetters = {'a', 'c', 'f', 'i', 'r', 's', 'v',
                                                         'o', 'u', 'n', 'l', 'd', 'z', 'e'};

// STX + content + ETX: the operator's manual command is framed as typed.
std::string Frame(std::string_view content);

// STX letter "=?" ETX.
std::string Query(char letter);

// STX letter "=" value ETX.
std::string Set(char letter, std::string_view value);

// The fixed set commands of the panel's buttons, by the index of the radio item
// that chooses them: "Standby", "Mode A", "Mode C"; "On", "Off"; "14V", "28V";
// "Gillham", "Serial". Index -1 (nothing chosen) has no frame: empty.
std::string SetOperationalFunction(int index);
std::string SetInterrogation(int index);
std::string SetVoltage(int index);
std::string SetEncoderSource(int index);
std::string TriggerIdent(); // "i=s"
std::string FirePing();     // "p=y"

} // namespace transponder::MessageSet
