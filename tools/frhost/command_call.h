#pragma once
// frhost for people: one method with the settings given, from the command line.

#include <iosfwd>
#include <string>

#include "tools/frhost/component.h"
#include "tools/frhost/options.h"

namespace fr {

enum TCallExit : int { ceSuccess = 0, ceDriverFailure = 1, ceUsage = 2 };

// An argument or setting value as typed on the command line: @FILE is the text
// of a UTF-8 file, text that reads as JSON is that value, anything else is text.
// Raises EProtocolError for a file that cannot be read or a JSON list.
Variant CommandLineValue(const std::string& text);

// A value for people: text as it is, true/false, numbers, dates.
std::string ValueForPeople(const Variant& value);

// Turns the driver's own log on (the setting DebugLogEnabled), unless the
// settings given name it.
void EnableDriverLog(TFrComponent& component, const TFrHostOptions& options);

// Init, the settings, Open unless the method needs no connection, the method,
// Close, Done. Results on `out`, diagnostics on `err`; answers the exit status.
int RunCommandLineCall(TFrComponent& component, const TFrHostOptions& options, std::ostream& out,
                       std::ostream& err);

// The same on a component whose Init has run, without Done.
int RunInitialisedCall(TFrComponent& component, const TFrHostOptions& options, std::ostream& out,
                       std::ostream& err);

}  // namespace fr
