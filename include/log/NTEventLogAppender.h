// Reports log events to the Application event log.
#pragma once

#include <boost/shared_ptr.hpp>

#include "base/AutoRegisterClass.h"
#include "log/ILogAppender.h"

namespace krel_std_internal {
class NTEventLogWrapper;
} // namespace krel_std_internal

namespace krel_std {

// Reports each event as one record of the Application event log: WARN as a warning, ERROR and
// FATAL as errors, every other priority as information, with the error id and the message as
// its text. Works on the event form, so an appender given a layout reports nothing.
// Registered as "krel_std.NTEventLogAppender".
class NTEventLogAppender : public ILogAppender, public AutoRegisterClass<NTEventLogAppender> {
public:
    // The prototype: no filter, no layout and no event source, so it reports nothing.
    NTEventLogAppender();
    ~NTEventLogAppender() override;

    // A new appender reporting under the property "sourceName", else under the static log's
    // module name. Registers the source (which writes the machine hive); a failure throws
    // KrelIOException.
    Configurable* newInstance(const std::map<std::wstring, std::wstring>& properties) override;
    std::wstring getClassName() const override;

protected:
    void localAppend(const LogEvent& event) override;
    void localAppend(const std::wstring& line) override;

private:
    explicit NTEventLogAppender(
        const boost::shared_ptr<krel_std_internal::NTEventLogWrapper>& wrapper);

    boost::shared_ptr<krel_std_internal::NTEventLogWrapper> wrapper;
};

} // namespace krel_std
