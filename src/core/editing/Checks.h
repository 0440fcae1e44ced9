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

// One finding of the checks: a stable code ("missing-start", ...), a message, and the rows of the
// items it is about (their keys are the rows' keys).
struct Finding {
    Severity severity = Severity::Warning;
    QString code;
    QString message;
    std::vector<int> rows;

    bool operator==(const Finding&) const = default;
};

// The findings for a level, in a fixed order (by check, then by row):
//   missing-start (error)      a player of the player count has no start point
//   starts-too-close           two start points closer than the minimum distance
//   outside-world              an item outside the world bounds
//   same-place                 two items of one kind at the same place
//   unknown-model              a model the catalogue does not know
//   unfair-resources           the resources nearest to each start point differ by more than the share
//   unequal-start-distance     the start points' distances from the world centre differ by more than the share
// `models` gives the catalogue's lists; nullptr skips unknown-model.
std::vector<Finding> checkLevel(const Level& level, const CheckOptions& options, ModelLists* models);

// "warning: same-place: Two Asteroids at (0, 0, 0) [1o 2o]": the line the tool prints.
QString findingLine(const Finding& finding);

// The resources of each player: the resources nearer to that player's start point than to any
// other (asteroids and salvage by their resource percentage / 100, dust clouds and nebulae one
// each unless their model's name contains "nores"), by slot; slots without a start point hold 0.
std::vector<double> resourcesByPlayer(const Level& level, ModelLists* models);

} // namespace starloom
