#include "log/VectorLogAppender.h"

#include <boost/core/null_deleter.hpp>

#include "log/DebugFileFilter.h"
#include "log/KrelLogLayout.h"
#include "log/StaticLog.h"
#include "thread/AutoLock.h"

namespace krel_std {

VectorLogAppender::VectorLogAppender()
    : ILogAppender(boost::shared_ptr<ILogEventFilter>(new DebugFileFilter()),
                   boost::shared_ptr<ILogEventLayout>(new KrelLogLayout())) {
    StaticLog::addAppender(boost::shared_ptr<ILogAppender>(this, boost::null_deleter()));
}

VectorLogAppender::~VectorLogAppender() {
    try {
        StaticLog::removeAppender(boost::shared_ptr<ILogAppender>(this, boost::null_deleter()));
        clear();
    } catch (...) {
        // A destructor must not throw; nothing is left to release if the locks fail.
    }
}

Configurable* VectorLogAppender::newInstance(const std::map<std::wstring, std::wstring>&) {
    return new VectorLogAppender();
}

std::list<std::wstring> VectorLogAppender::getLogStatements() {
    AutoLock<Lock> guard(lock);
    return statements;
}

void VectorLogAppender::clear() {
    AutoLock<Lock> guard(lock);
    statements.clear();
}

std::wstring VectorLogAppender::getClassName() const {
    return L"krel_std.VectorLogAppender";
}

void VectorLogAppender::localAppend(const LogEvent&) {}

void VectorLogAppender::localAppend(const std::wstring& line) {
    AutoLock<Lock> guard(lock);
    statements.push_back(line);
}

} // namespace krel_std
