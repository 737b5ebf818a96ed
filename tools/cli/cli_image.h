// Helpers shared by the image subcommands (channel, composite).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// "X,Y,W,H" into r; false unless exactly four integers.
bool CliParseRect(const char* text, int32_t r[4]);
// Whole decimal integer; false on anything else.
bool CliParseInt(const char* text, int* out);
// Channel id from "1".."12" or a file-name text such as "IR_108" or "HRV"; 0 when unknown.
int CliParseChannel(const char* text);
// Full path of the reference segment of channel id in slot text of folder dir, of whichever
// MSG spacecraft and service has it there (the MSG3 full-disk name when none has).
std::string CliSegmentPath(const char* dir, const char* slot, int id);
// The synth command's cycles: count of them from slot text first, step minutes apart, each
// written by make(slot, &err) and its slot printed. The exit status: 2 for a bad slot text, 1
// when a cycle fails (the reason on stderr), else 0.
int CliSynthCycles(const std::string& first, long count, int step,
                   const std::function<bool(const std::string& slot, std::string* err)>& make);
