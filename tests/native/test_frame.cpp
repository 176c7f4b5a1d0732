// The call frame where Python cannot reach it: the lock nesting count a
// frame leaves behind, and the guard that stops the process when a fault
// escapes the frame's own steps.
#include "frame/python_api.hpp"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>

#include "frame/call_frame.hpp"
#include "harness.hpp"

namespace {

using namespace velquist::frame;

TEST_CASE(frame_lock_nesting_ends_with_each_entry) {
    PyObject* obj = PyList_New(0);
    Py_INCREF(obj);  // the thread's reference
    Py_BEGIN_ALLOW_THREADS
    std::thread([obj] {
        const PyGILState_STATE state = PyGILState_Ensure();
        Py_DECREF(run_in_frame([] { return Py_NewRef(Py_None); }));
        PyGILState_Release(state);
        release_reference(obj);  // without the lock again: queued, not released
    }).join();
    Py_END_ALLOW_THREADS
    CHECK_EQ(Py_REFCNT(obj), 2);
    (void)HeldLockScope{};  // the next entry carries out the queued release
    CHECK_EQ(Py_REFCNT(obj), 1);
    Py_DECREF(obj);
}

/// A payload that throws again while the frame disposes of it.
struct ThrowsWhenDropped {
    ~ThrowsWhenDropped() noexcept(false) { throw 1; }
};

/// Exit status and standard error of `body` run in a forked child, which
/// always ends there.
template <class Body>
std::pair<int, std::string> in_child(Body body) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return {-1, "no pipe"};
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit no_core{0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        dup2(pipe_ends[1], 2);
        body();
        _exit(0);
    }
    close(pipe_ends[1]);
    std::string err;
    char buffer[4096];
    for (ssize_t n; (n = read(pipe_ends[0], buffer, sizeof buffer)) > 0;) err.append(buffer, n);
    close(pipe_ends[0]);
    int status = -1;
    waitpid(pid, &status, 0);
    return {status, err};
}

TEST_CASE(frame_fault_escaping_its_own_steps_stops_the_process) {
    auto [status, err] = in_child([] { run_in_frame([]() -> PyObject* { throw ThrowsWhenDropped{}; }); });
    CHECK(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT);
#ifdef _LIBCPP_VERSION
    // libc++ disposes of a caught exception where nothing may throw: its
    // runtime stops the process itself before the throw reaches the guard.
    const std::string tail = "\npanic from native code with a non-text payload\n";
    CHECK(err.find(tail) != std::string::npos && err.find("terminating") != std::string::npos);
#else
    const std::string tail = "\npanic from native code with a non-text payload\nuncaught panic at ffi boundary\n";
    CHECK(err.size() > tail.size() && err.ends_with(tail));
#endif
}

}  // namespace
