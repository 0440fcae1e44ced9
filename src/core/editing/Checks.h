#pragma once

#include "document/Level.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace starloom {

class ModelLists;

// What the checks look for, with their limits.
struct CheckOptions {
    double minStartDistance = 8000; // world units, in 3-D
    double fairShare = 0.10;        // the most the richest and the poorest player may differ by
    double centreShare = 0.10;      // the most the start points' distances from the centre may differ by
};

enum class Severity { Error, Warning };

// One finding of the checks: a stable code ("missing-start", ...), a message, the rows of the
// items it is about (their keys are the rows' keys), and what it is about in a few words (a
// player, an item's row text, a model's name), by which a group of findings sums them up.
// `withUnits` is the message as the Checks panel shows it, every number with its unit ("6000 u
// apart", "(5, 5, 5) u", "100% RU"); empty when the message holds no number that has a unit.
struct Finding {
    Severity severity = Severity::Warning;
    QString code;
    QString message;
    std::vector<int> rows;
    QString subject;
    QString withUnits;

    bool operator==(const Finding&) const = default;
};

// The findings for a level, in a fixed order (by check, then by row):
//   invalid-setting (error)    a world size or camera distance the game cannot read (the
//                              outside-world check waits until the world size is one)
//   missing-start (error)      a player of the player count has no start point
//   unknown-race               a player's race (raceID, raceName) is not one the game knows
//   starts-too-close           two start points closer than the minimum distance
//   outside-world              an item outside the world bounds
//   same-place                 two items of one kind at the same place
//   unknown-model              a model the catalogue does not know
//   unfair-resources           the resources nearest to each start point differ by more than the share
//   unequal-start-distance     the start points' distances from the world centre differ by more than the share
// `models` gives the catalogue's lists; nullptr skips unknown-model.
std::vector<Finding> checkLevel(const Level& level, const CheckOptions& options, ModelLists* models);

// The error findings alone, as checkLevel gives them first: invalid-setting, then missing-start.
std::vector<Finding> errorFindings(const Level& level);

// Message shown (title "Error") when a player within the player count has no start point.
QString missingStartsMessage();

// What a save of the level must settle first, read from the error findings; the editor and the
// tool both ask this. `refusal`: why the save is refused, missingStartsMessage when a player has
// no start point, else the message of a setting the game cannot read; empty when nothing refuses
// it. `startsLeftOut`: the slots at or beyond the player count that hold a start point, which the
// file leaves out, and `leftOutMessage` saying so ("The start points of Player 3 and Player 8 lie
// beyond the level's 2 players and are not saved"; empty without them).
struct SaveBlockers {
    QString refusal;
    std::vector<int> startsLeftOut;
    QString leftOutMessage;
};
SaveBlockers saveBlockers(const Level& level);

// "warning: same-place: Two Asteroids at (0, 0, 0) [1o 2o]": the line the tool prints.
QString findingLine(const Finding& finding);

// The findings of one severity and code, so that a list shows each kind of finding once: the
// indexes of its findings (in order) and the rows of their items.
struct FindingGroup {
    Severity severity = Severity::Warning;
    QString code;
    std::vector<std::size_t> members;
    std::vector<int> rows;
};
// The groups of `findings`, in the order their first findings come.
std::vector<FindingGroup> groupFindings(const std::vector<Finding>& findings);
// A group in one line: its finding's message for a group of one; otherwise how many there are and
// what they are about, "572 items use models the catalogue does not know: Asteroid1_MP, …".
QString groupSummary(const FindingGroup& group, const std::vector<Finding>& findings);
// groupSummary as the tool prints it: findingLine for a group of one, else
// "warning: unknown-model: 572 items use models ...".
QString groupLine(const FindingGroup& group, const std::vector<Finding>& findings);

// How many findings there are, counted once and in words: "1 error, 3 warnings, 10 load problems",
// "no problems" when there is none.
QString checksCountText(const std::vector<Finding>& findings, std::size_t loadProblems);

// The resources of each player: the resources nearer to that player's start point than to any
// other (asteroids and salvage by their resource percentage / 100, dust clouds and nebulae one
// each unless their model's name contains "nores"), by slot; slots without a start point hold 0.
std::vector<double> resourcesByPlayer(const Level& level, ModelLists* models);

} // namespace starloom
