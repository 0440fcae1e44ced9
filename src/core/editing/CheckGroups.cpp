#include "CheckGroups.h"

namespace starloom {

namespace {

CheckSeverity severityOf(Severity severity)
{
    return severity == Severity::Error ? CheckSeverity::Error : CheckSeverity::Warning;
}

const ObjectRow* rowAt(const std::vector<ObjectRow>& rows, int row)
{
    return row >= 0 && row < static_cast<int>(rows.size()) ? &rows[static_cast<std::size_t>(row)] : nullptr;
}

bool holds(const QString& text, const QString& filter)
{
    return text.contains(filter, Qt::CaseInsensitive);
}

// Whether the filter keeps a line: its text, its code or one of its items' row texts holds it.
bool kept(const CheckLine& line, const QString& code, const std::vector<ObjectRow>& rows, const QString& filter)
{
    if (filter.isEmpty() || holds(line.text, filter) || holds(code, filter))
        return true;
    for (const int row : line.rows)
        if (const ObjectRow* r = rowAt(rows, row); r && holds(r->text, filter))
            return true;
    return false;
}

QString titleOf(const QString& code, std::size_t shown, std::size_t all)
{
    return shown == all ? QStringLiteral("%1 (%2)").arg(code).arg(all)
                        : QStringLiteral("%1 (%2 of %3)").arg(code).arg(shown).arg(all);
}

} // namespace

QString findingText(const Finding& finding, const std::vector<ObjectRow>& rows)
{
    QString text = finding.withUnits.isEmpty() ? finding.message : finding.withUnits;
    QStringList names;
    for (const int row : finding.rows) {
        const ObjectRow* r = rowAt(rows, row);
        if (r && !r->text.isEmpty() && !text.contains(r->text) && !names.contains(r->text))
            names << r->text;
    }
    if (!names.isEmpty())
        text += QStringLiteral(" \u2014 ") + names.join(QStringLiteral(", "));
    return text;
}

QString loadProblemText(const ReadProblem& problem)
{
    return problem.line > 0 ? QStringLiteral("line %1: %2").arg(problem.line).arg(problem.reason) : problem.reason;
}

std::vector<CheckGroup> checkGroups(const std::vector<ReadProblem>& problems, const std::vector<Finding>& findings,
    const std::vector<ObjectRow>& rows, const QString& filter)
{
    std::vector<CheckGroup> groups;
    if (!problems.empty()) {
        CheckGroup load{CheckSeverity::Warning, loadProblemsCode, {},
            QStringLiteral("What the last load could not read as the file gives it"), {}, {}};
        for (const ReadProblem& p : problems) {
            CheckLine line{CheckSeverity::Warning, loadProblemText(p), {}};
            if (kept(line, load.code, rows, filter))
                load.lines.push_back(std::move(line));
        }
        load.title = titleOf(load.code, load.lines.size(), problems.size());
        if (!load.lines.empty())
            groups.push_back(std::move(load));
    }
    for (const FindingGroup& found : groupFindings(findings)) {
        CheckGroup group{severityOf(found.severity), found.code, {}, groupSummary(found, findings), {}, {}};
        for (const std::size_t i : found.members) {
            const Finding& f = findings[i];
            CheckLine line{severityOf(f.severity), findingText(f, rows), f.rows};
            if (!kept(line, group.code, rows, filter) && !holds(f.message, filter))
                continue;
            group.rows.insert(group.rows.end(), f.rows.begin(), f.rows.end());
            group.lines.push_back(std::move(line));
        }
        group.title = titleOf(group.code, group.lines.size(), found.members.size());
        if (!group.lines.empty())
            groups.push_back(std::move(group));
    }
    return groups;
}

} // namespace starloom
