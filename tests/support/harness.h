// harness.h - what the tests share: a fresh emulated board per test, running
// the suite's programs as real processes, and reading the board's log.
#ifndef ZLV_HARNESS_H
#define ZLV_HARNESS_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace zlv {

// Folder of the running test program (build/x86_64/bin): the programs, the
// emulated "glide2x.dll" and the board tools live there.
std::string BinDir();

// A new empty folder under the build's temporary area.
std::string MakeTempDir(const char *pszTag);
void RemoveTree(const std::string &strDir);
bool CopyTo(const std::string &strFrom, const std::string &strTo);
std::string ReadFileText(const std::string &strPath);

// A board of its own for one test: a fresh board directory that this process
// and every program it starts use (ZLVBOARD_DIR), removed at the end.
class TestBoard {
public:
    TestBoard();
    ~TestBoard();
    const std::string &Dir() const { return m_strDir; }
    std::string Path(const char *pszName) const;
    // Writes one setting into board.ini ([section] key=value).
    void Set(const char *pszSection, const char *pszKey, const std::string &strValue);
    void Set(const char *pszSection, const char *pszKey, long lValue);
    // All lines of board.log, or those that start (after "pid=N ") with
    // the given word ("cti", "gr").
    std::vector<std::string> Log(const char *pszKind = NULL) const;
    void ClearLog();
private:
    std::string m_strDir;
    std::string m_strOldEnv;
    bool m_bHadEnv;
};

// key=value fields of one log line ("pid", "cmd", "op", ... as strings).
std::map<std::string, std::string> ParseLogLine(const std::string &strLine);

// Starts a program (command line as given; the first word a path), waits up
// to dwTimeoutMs and returns its exit code, or -1 when it did not end in time
// (it is then killed) or could not start.
int RunProgram(const std::string &strCommandLine, DWORD dwTimeoutMs = 30000,
               const char *pszDir = NULL);

// A started program that a test drives while it runs.
class Process {
public:
    explicit Process(const std::string &strCommandLine, const char *pszDir = NULL);
    ~Process();     // kills it if still running
    bool Started() const { return m_pi.hProcess != NULL; }
    DWORD Id() const { return m_pi.dwProcessId; }
    DWORD ThreadId() const { return m_pi.dwThreadId; }
    // Waits for the end; the exit code, or -1 on time-out.
    int Wait(DWORD dwTimeoutMs = 30000);
    bool Running() const;
    // Waits until the program sits idle waiting for input.
    bool WaitIdle(DWORD dwTimeoutMs = 30000);
private:
    PROCESS_INFORMATION m_pi;
};

// Polls until pred() holds or the time is up; returns the last pred().
template <class Pred> bool WaitFor(Pred pred, DWORD dwTimeoutMs = 20000)
{
    DWORD dwStart = GetTickCount();
    for (;;) {
        if (pred())
            return true;
        if (GetTickCount() - dwStart > dwTimeoutMs)
            return pred();
        Sleep(20);
    }
}

} // namespace zlv

#endif // ZLV_HARNESS_H
