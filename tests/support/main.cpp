// The test programs' entry point, and the watchdog every one of them runs: a test case that
// has not finished after HANG_MS (a thread waiting for a lock whose owner waits for it, a
// modal loop nobody closes) is named on stderr, doctest's output so far is flushed, and
// the program ends with exit code 3, instead of waiting for the runner's timeout, which
// would lose all of that. A case that is long by design says how long it may take with
// doctest's timeout decorator, which also fails it if it takes longer.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest.h>

#include <stdio.h>
#include <windows.h>

namespace {

constexpr DWORD HANG_MS = 90000;

char running[512];          // the case, and the subcases entered on this pass through it
HANDLE progress;            // set whenever a case or subcase starts or a case ends
volatile LONG inCase;
volatile DWORD allowedMs = HANG_MS;     // for the running case

DWORD WINAPI watch(void*) {
    for (;;) {
        DWORD allowed = allowedMs;
        if (WaitForSingleObject(progress, allowed) != WAIT_TIMEOUT || !inCase) continue;
        fflush(stdout);
        fprintf(stderr, "hang: test case \"%s\" did not finish in %lu s; ending the program\n",
                running, static_cast<unsigned long>(allowed / 1000));
        fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
}

struct HangWatch : doctest::IReporter {
    explicit HangWatch(const doctest::ContextOptions&) {}
    void test_run_start() override {
        progress = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        CloseHandle(CreateThread(nullptr, 0, watch, nullptr, 0, nullptr));
    }
    void test_case_start(const doctest::TestCaseData& test) override {
        snprintf(running, sizeof running, "%s", test.m_name);
        allowedMs = test.m_timeout > 0 ? static_cast<DWORD>(test.m_timeout * 1000) : HANG_MS;
        inCase = 1;
        SetEvent(progress);
    }
    void test_case_reenter(const doctest::TestCaseData& test) override { test_case_start(test); }
    void subcase_start(const doctest::SubcaseSignature& subcase) override {
        size_t used = strlen(running);
        snprintf(running + used, sizeof running - used, " / %s", subcase.m_name.c_str());
        SetEvent(progress);
    }
    void test_case_end(const doctest::CurrentTestCaseStats&) override {
        inCase = 0;
        SetEvent(progress);
    }
    void report_query(const doctest::QueryData&) override {}
    void test_run_end(const doctest::TestRunStats&) override {}
    void test_case_exception(const doctest::TestCaseException&) override {}
    void subcase_end() override {}
    void log_assert(const doctest::AssertData&) override {}
    void log_message(const doctest::MessageData&) override {}
    void test_case_skipped(const doctest::TestCaseData&) override {}
};

}  // namespace

REGISTER_LISTENER("hang watch", 1, HangWatch);
