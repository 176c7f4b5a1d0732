#include "logbridge/logger.hpp"

#include "frame/error.hpp"
#include "frame/interpreter_lock.hpp"
#include "frame/owned_ref.hpp"
#include "frame/panic.hpp"

namespace velquist::logbridge {

namespace {

using frame::OwnedRef;

/// Prints the pending Python error (or the SystemError of a failure that set
/// none) and clears it. A SystemExit raised by a handler is shown like any
/// other error: the standard printing would end the process.
[[gnu::cold]] void print_python_error() noexcept {
    frame::ensure_error_set();
    if (PyErr_ExceptionMatches(PyExc_SystemExit)) {
        PyObject* exc = PyErr_GetRaisedException();
        PyErr_DisplayException(exc);
        Py_DECREF(exc);
    } else {
        PyErr_PrintEx(0);
    }
    PyErr_Clear();
}

/// Sets aside the exception pending on the calling thread for the span of
/// the bridge's own Python calls, and puts it back afterwards.
class SavedError {
public:
    SavedError() noexcept : saved_(PyErr_GetRaisedException()) {}
    ~SavedError() { PyErr_SetRaisedException(saved_); }
    SavedError(const SavedError&) = delete;
    SavedError& operator=(const SavedError&) = delete;

private:
    PyObject* saved_;  ///< stolen back by PyErr_SetRaisedException
};

PyObject* text_object(std::string_view text) noexcept {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

}  // namespace

std::string python_logger_name(std::string_view target) {
    std::string name;
    name.reserve(target.size());
    for (;;) {
        const std::size_t at = target.find("::");
        if (at == std::string_view::npos) {
            name.append(target);
            return name;
        }
        name.append(target.substr(0, at));
        name.push_back('.');
        target.remove_prefix(at + 2);
    }
}

Logger::Logger(CachePolicy policy, LevelLimit default_limit, LimitTable target_limits, PyObject* logging,
               Names names, std::shared_ptr<CacheCell> cache) noexcept
    : default_limit_(default_limit),
      target_limits_(std::move(target_limits)),
      logging_(logging),
      names_(names),
      cache_(std::move(cache)),
      policy_(policy) {}

Logger::~Logger() {
    // Only a logger that lost the installation race is destroyed, possibly
    // on a thread without the lock.
    frame::release_reference(logging_);
    frame::release_reference(names_.get_logger);
    frame::release_reference(names_.is_enabled_for);
    frame::release_reference(names_.make_record);
    frame::release_reference(names_.handle);
}

std::unique_ptr<Logger> Logger::create(CachePolicy policy) {
    return create(policy, LevelLimit::Debug, LimitTable{});
}

std::unique_ptr<Logger> Logger::create(CachePolicy policy, LevelLimit default_limit, LimitTable target_limits) {
    OwnedRef module_name(PyUnicode_FromString("logging"));
    if (!module_name) return nullptr;
    OwnedRef logging(PyImport_Import(module_name.get()));
    if (!logging) return nullptr;
    OwnedRef get_logger(PyUnicode_InternFromString("getLogger"));
    OwnedRef is_enabled_for(PyUnicode_InternFromString("isEnabledFor"));
    OwnedRef make_record(PyUnicode_InternFromString("makeRecord"));
    OwnedRef handle(PyUnicode_InternFromString("handle"));
    if (!get_logger || !is_enabled_for || !make_record || !handle) return nullptr;
    auto cache = std::make_shared<CacheCell>();
    Names names{get_logger.get(), is_enabled_for.get(), make_record.get(), handle.get()};
    std::unique_ptr<Logger> logger(
        new Logger(policy, default_limit, std::move(target_limits), logging.get(), names, std::move(cache)));
    logging.release();
    get_logger.release();
    is_enabled_for.release();
    make_record.release();
    handle.release();
    return logger;
}

std::unique_ptr<Logger> Logger::create_default() {
    frame::InterpreterLockGuard guard;
    std::unique_ptr<Logger> logger = create(CachePolicy::CacheLoggersAndLimits);
    if (!logger) {
        OwnedRef error(frame::fetch_error());
        frame::panic("Failed to initialize python logging: " + frame::describe_error(error.get()));
    }
    return logger;
}

LevelLimit Logger::ceiling() const noexcept {
    LevelLimit table_ceiling = LevelLimit::Off;
    for (const auto& [prefix, limit] : target_limits_) table_ceiling = more_verbose(table_ceiling, limit);
    return more_verbose(default_limit_, table_ceiling);
}

LevelLimit Logger::configured_limit(std::string_view target) const noexcept {
    LevelLimit limit = default_limit_;
    if (target_limits_.empty()) return limit;
    // Prefixes end at each "::", shortest first, so a longer match overrides.
    for (std::size_t at = target.find("::"); at != std::string_view::npos; at = target.find("::", at + 2)) {
        auto hit = target_limits_.find(target.substr(0, at));
        if (hit != target_limits_.end()) limit = hit->second;
    }
    auto whole = target_limits_.find(target);
    if (whole != target_limits_.end()) limit = whole->second;
    return limit;
}

bool Logger::enabled_inner(const CacheNode* node, LogLevel level, std::string_view target) const noexcept {
    if (node != nullptr && node->entry && !passes(level, node->entry->limit())) return false;
    return passes(level, configured_limit(target));
}

bool Logger::enabled(LogLevel level, std::string_view target) const noexcept {
    const CacheNode* root = pinned_root();
    return enabled_inner(root != nullptr ? find(*root, target) : nullptr, level, target);
}

void Logger::log(const LogEvent& event) const noexcept {
    const CacheNode* root = pinned_root();
    const CacheNode* found = root != nullptr ? find(*root, event.target) : nullptr;
    if (!enabled_inner(found, event.level, event.target)) return;
    // A thread without the lock cannot take it while the interpreter shuts
    // down (it would be stopped inside the lock call); drop the event.
    if (frame::lock_nesting == 0 && Py_IsFinalizing()) return;
    // The pin lasts only until this thread reads again, which the Python
    // calls below may do: from here the event holds its node by reference.
    const NodeRef node = found != nullptr ? hold(*root, found) : nullptr;
    try {
        frame::InterpreterLockGuard guard;
        const SavedError caller_error;
        forward(event, node.get());
    } catch (...) {
        // No interpreter or no memory: the event is dropped, the caller goes on.
    }
    // The node goes last, after the lock: dropping it may free old nodes,
    // whose Python references are then released later.
}

int Logger::is_enabled_for(PyObject* py_logger, LogLevel level) const noexcept {
    OwnedRef number(PyLong_FromLong(python_level_number(level)));
    if (!number) return -1;
    OwnedRef answer(PyObject_CallMethodOneArg(py_logger, names_.is_enabled_for, number.get()));
    if (!answer) return -1;
    return PyObject_IsTrue(answer.get());
}

LevelLimit Logger::probe(PyObject* py_logger) const noexcept {
    for (LogLevel level : levels_most_verbose_first) {
        const int answer = is_enabled_for(py_logger, level);
        if (answer < 0) {
            print_python_error();
            return LevelLimit::Trace;
        }
        if (answer) return limit_of(level);
    }
    return LevelLimit::Off;
}

void Logger::forward(const LogEvent& event, const CacheNode* node) const {
    std::string text;
    event.message.render_to(text);
    OwnedRef name(text_object(python_logger_name(event.target)));
    if (!name) return print_python_error();

    const CachedLogger* cached = node != nullptr && node->entry ? &*node->entry : nullptr;
    OwnedRef py_logger;
    if (cached != nullptr) {
        py_logger = OwnedRef::borrowed(cached->logger());
    } else {
        // Looked up afresh each time, so a replaced `logging.getLogger` is honoured.
        OwnedRef get_logger(PyObject_GetAttr(logging_, names_.get_logger));
        if (!get_logger) return print_python_error();
        py_logger = OwnedRef(PyObject_CallOneArg(get_logger.get(), name.get()));
        if (!py_logger) return print_python_error();
    }

    const int wanted = is_enabled_for(py_logger.get(), event.level);
    if (wanted < 0) return print_python_error();
    if (wanted) {
        OwnedRef level(PyLong_FromLong(python_level_number(event.level)));
        OwnedRef file(event.file ? text_object(*event.file) : Py_NewRef(Py_None));
        OwnedRef line(PyLong_FromUnsignedLong(event.line.value_or(0)));
        OwnedRef message(text_object(text));
        // No arguments: Python then applies no %-formatting to the message.
        OwnedRef no_arguments(PyTuple_New(0));
        if (!level || !file || !line || !message || !no_arguments) return print_python_error();
        PyObject* call[] = {nullptr,    py_logger.get(), name.get(),         level.get(), file.get(),
                            line.get(), message.get(),   no_arguments.get(), Py_None};
        OwnedRef record(
            PyObject_VectorcallMethod(names_.make_record, call + 1, 8 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
        if (!record) return print_python_error();
        OwnedRef handled(PyObject_CallMethodOneArg(py_logger.get(), names_.handle, record.get()));
        if (!handled) return print_python_error();
    }

    if (cached != nullptr || policy_ == CachePolicy::NoCache) return;
    const LevelLimit limit = policy_ == CachePolicy::CacheLoggers ? LevelLimit::Trace : probe(py_logger.get());
    // A lost race with another store is fine: the next event stores again.
    (void)store(*cache_, event.target, CachedLogger(limit, py_logger.release()));
}

}  // namespace velquist::logbridge
