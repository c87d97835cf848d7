#include "log/ILogAppender.h"

#include <utility>

#include "log/AppenderWriteGuard.h"

namespace krel_std {

ILogAppender::ILogAppender(const boost::shared_ptr<ILogEventFilter>& filter,
                           const boost::shared_ptr<ILogEventLayout>& layout)
    : filter(filter), layout(layout) {}

ILogAppender::~ILogAppender() = default;

void ILogAppender::setFilter(const boost::shared_ptr<ILogEventFilter>& newFilter) {
    filter = newFilter;
}

void ILogAppender::setLayout(const boost::shared_ptr<ILogEventLayout>& newLayout) {
    layout = newLayout;
}

void ILogAppender::setProperty(const std::wstring& key, const std::wstring& value) {
    if (filter) {
        filter->setProperty(key, value);
    }
    if (layout) {
        layout->setProperty(key, value);
    }
}

void ILogAppender::append(const LogEvent& event) {
    if (!filter || filter->decide(event) != ILogEventFilter::ACCEPT) {
        return;
    }
    if (layout) {
        if (appendPrepared(event)) {
            return;
        }
        std::wstring line = layout->format(event);
        localAppend(line);
        krel_std_internal::AppenderWriteGuard::giveBackLine(std::move(line));
    } else {
        localAppend(event);
    }
}

bool ILogAppender::appendPrepared(const LogEvent&) {
    return false;
}

} // namespace krel_std
