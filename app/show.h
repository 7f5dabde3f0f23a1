#pragma once

#include <optional>
#include <string>

#include "logging/quarn_logger.h"

// The read-only forms of the command line, beside the update's: `morvane --show[=json|shell|sw-versions]` and
// `morvane --help`. They never write, lock or sync anything.
enum class ShowForm { Table, Json, Shell, SwVersions, Help };

// The form that the command line names: exactly one argument, spelled exactly as one of the forms. Anything else,
// whatever it begins with, is left to the update's own reading of the command line.
std::optional<ShowForm> showFormOf(int argc, char** argv);

// Exit statuses of --show beside 0 (the document loaded whole) and 1 (the output could not be written).
constexpr int kShowNothingRecorded = 2;  // no document: printed as if nothing was ever recorded
constexpr int kShowDocumentDamaged = 3;  // unreadable, or defaults stand in for a section: nothing printed

// Loads the document at documentPath as an update does (same checks, same messages to the log) and prints what it
// records on standard output in the given form; returns the exit status.
int runShow(ShowForm form, quarn_logger& logger, const std::string& documentPath);
