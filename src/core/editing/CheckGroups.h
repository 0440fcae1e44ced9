#pragma once

// What the Checks panel lists: the problems of the last load and the findings of the checks,
// grouped by their code, each line naming its items by their rows' texts. Plain data that a
// window shows as it is.

#include "Checks.h"

#include "document/ObjectRow.h"
#include "levelfile/LevelReader.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace starloom {

// How grave a line is, which picks its icon; a group is as grave as its gravest line.
enum class CheckSeverity : std::uint8_t { Error, Warning, Information };

// One line of a group: a finding or a load problem.
struct CheckLine {
    CheckSeverity severity = CheckSeverity::Warning;
    QString text;          // as shown
    std::vector<int> rows; // the rows of the items it is about
    bool operator==(const CheckLine&) const = default;
};

struct CheckGroup {
    CheckSeverity severity = CheckSeverity::Warning;
    QString code;    // the findings' code; loadProblemsCode for the load problems
    QString title;   // the code and how many lines it has: "unknown-model (3)", "unknown-model (2 of 3)"
    QString summary; // the group in one sentence ("3 items use models the catalogue does not know: …")
    std::vector<CheckLine> lines;
    std::vector<int> rows; // every line's rows, in order
    bool operator==(const CheckGroup&) const = default;
};

// The code of the group of load problems.
inline const QString loadProblemsCode = QStringLiteral("load problems");

// A finding as the panel shows it: its message with the units of its numbers, then the row texts
// of the items it is about that the message does not name already ("... apart (less than 8000 u)
// — Player 1 start, Player 2 start").
QString findingText(const Finding& finding, const std::vector<ObjectRow>& rows);

// A load problem as the panel shows it: "line 5: <reason>", or the reason alone for the file as a
// whole.
QString loadProblemText(const ReadProblem& problem);

// The groups the panel lists: the load problems first (their own group), then the findings
// grouped by code, in the order their first findings come. Only the lines whose text, code or
// items' row texts hold `filter` (ignoring case) are kept; a group left without lines is left
// out, and a group that lost lines counts "kept of all" in its title.
std::vector<CheckGroup> checkGroups(const std::vector<ReadProblem>& problems, const std::vector<Finding>& findings,
    const std::vector<ObjectRow>& rows, const QString& filter = {});

} // namespace starloom
