// The base of every destination of log events.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "base/Configurable.h"
#include "log/ILogEventFilter.h"
#include "log/ILogEventLayout.h"
#include "log/LogEvent.h"

namespace krel_std {

// An appender owns a filter and a layout. For each event the filter decides whether it is
// written; with a layout the concrete appender receives the formatted line, without one the
// event itself. An appender without a filter writes nothing.
class ILogAppender : public Configurable {
public:
    ILogAppender(const boost::shared_ptr<ILogEventFilter>& filter,
                 const boost::shared_ptr<ILogEventLayout>& layout);
    ~ILogAppender() override;

    // Not synchronised with append: set them before the appender joins a logger.
    void setFilter(const boost::shared_ptr<ILogEventFilter>& filter);
    void setLayout(const boost::shared_ptr<ILogEventLayout>& layout);

    // Hands the pair to the filter, then to the layout. Concrete appenders handle their own
    // keys and call this for the rest.
    void setProperty(const std::wstring& key, const std::wstring& value) override;

    // Filters, formats and writes one event. Takes no lock: the logger serialises calls.
    void append(const LogEvent& event);

protected:
    // Writes the event in a way of the appender's own, after the filter accepted it, and
    // answers true; false (the default) lets the layout format it for localAppend.
    virtual bool appendPrepared(const LogEvent& event);
    virtual void localAppend(const LogEvent& event) = 0;
    virtual void localAppend(const std::wstring& line) = 0;

    boost::shared_ptr<ILogEventFilter> filter;
    boost::shared_ptr<ILogEventLayout> layout;
};

} // namespace krel_std
