#include "headless_window.h"

#include "comparison_log.h"
#include "comparison_run.h"

namespace dualyn {

namespace {

// A progress number as the trace shows it: "3", "0.5".
std::string number(float v)
{
    std::string s = std::to_string(v);
    s.erase(s.find_last_not_of('0') + 1);
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

}  // namespace

void HeadlessWindow::SetStatus(const std::string& text)
{
    status = text;
    if (recordCalls) calls.push_back("SetStatus " + text);
}

void HeadlessWindow::SetProgressMax(float maximum)
{
    progressMax = maximum;
    if (recordCalls) calls.push_back("SetProgressMax " + number(maximum));
}

void HeadlessWindow::SetProgressValue(float value)
{
    progressValue = value;
    if (recordCalls) calls.push_back("SetProgressValue " + number(value));
}

void HeadlessWindow::ProcessPendingEvents()
{
    if (recordCalls) calls.push_back("ProcessPendingEvents");
    if (++eventsProcessed == cancelAtEvent && run) run->cmdCancel_Click();
}

void HeadlessWindow::SetBusyPointer(bool busy)
{
    if (recordCalls) calls.push_back(busy ? "SetBusyPointer on" : "SetBusyPointer off");
}

void HeadlessWindow::SetDatabasePath(int database, const std::string& path)
{
    paths[database == 2 ? 1 : 0] = path;
    if (recordCalls) calls.push_back("SetDatabasePath " + std::to_string(database) + " " + path);
}

bool HeadlessWindow::IsTicked(CheckBox box)
{
    return box == CheckBox::chkTables ? tables : box == CheckBox::chkRelations ? relations : queries;
}

void HeadlessWindow::ShowMessageBox(const std::string& text, const std::string& title, const std::string& details,
                                    const std::string& informative)
{
    messageDetails.push_back(details);
    messageInformative.push_back(informative);
    if (recordCalls) calls.push_back("MessageBox " + title + ": " + text);
}

void HeadlessWindow::OpenLogViewer(const std::string& logFile)
{
    if (recordCalls) calls.push_back("OpenLogViewer " + logFile);
    if (showLogOn) CopyLog(logFile, *showLogOn);
    if (openLogOn) *openLogOn = OpenLogForReading(logFile);
}

std::optional<std::string> HeadlessWindow::AskPassword(int database, const std::string& path, bool wrong)
{
    if (recordCalls) calls.push_back("AskPassword " + std::to_string(database) + " " + path + (wrong ? " wrong" : ""));
    if (passwordAnswers.empty()) return std::nullopt;
    std::string answer = passwordAnswers.front();
    passwordAnswers.erase(passwordAnswers.begin());
    return answer;
}

}  // namespace dualyn
