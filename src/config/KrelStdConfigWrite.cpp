// The writing functions of the older configuration API. Each copies the file through a
// ConfigRewrite, trimming every line, and changes the lines of one section on the way.
#include <new>

#include "base/KrelStdUtils.h"
#include "config/ConfigDefaults.h"
#include "config/ConfigRewrite.h"
#include "config/KrelStdConfig.h"

using krel_std_internal::ConfigDefaults;
using krel_std_internal::ConfigFileReader;
using krel_std_internal::ConfigRewrite;

namespace KrelStd {

namespace {

// What a write does to the section it changes. The heading and the lines around the section
// are copied unless a step says otherwise.
class SectionEdit {
public:
    virtual ~SectionEdit() = default;
    // The section's heading; copied unless the whole section goes.
    virtual bool keepsHeading() const { return true; }
    // One line of the section (blank lines as empty text).
    virtual void onLine(const SWString& line, ConfigRewrite& output) = 0;
    // The section ends: the next heading or the end of the file follows.
    virtual void onSectionEnd(ConfigRewrite&) {}
    // The file ends without the section (or there is no file).
    virtual void onSectionMissing(ConfigRewrite&) {}
};

// The line becomes the section's last line, whether or not an equal line is there already;
// without the section it comes at the end under a new heading.
class AppendLine : public SectionEdit {
public:
    AppendLine(const SWString& section, const SWString& line)
        : line(line), written(false), section(section) {}

    void onLine(const SWString& copied, ConfigRewrite& output) override {
        output.writeLine(copied);
    }
    void onSectionEnd(ConfigRewrite& output) override {
        if (!written) {
            output.writeLine(line);
        }
    }
    void onSectionMissing(ConfigRewrite& output) override {
        output.writeLine(ConfigFileReader::headingOf(section));
        output.writeLine(line);
    }

protected:
    SWString line;
    // Set by a subclass that wrote the line within the section, so the end adds nothing.
    bool written;

private:
    SWString section;
};

// The new entry replaces every entry of its key; without one it is appended as a line.
class PutEntry : public AppendLine {
public:
    PutEntry(const SWString& section, const SWString& key, const SWString& value)
        : AppendLine(section, key + L"=" + value), key(key) {}

    void onLine(const SWString& copied, ConfigRewrite& output) override {
        const bool replaced = ConfigFileReader::isEntryFor(copied, key);
        written = written || replaced;
        output.writeLine(replaced ? line : copied);
    }

private:
    SWString key;
};

class RemoveEntries : public SectionEdit {
public:
    explicit RemoveEntries(const SWString& key) : key(key) {}

    void onLine(const SWString& line, ConfigRewrite& output) override {
        if (!ConfigFileReader::isEntryFor(line, key)) {
            output.writeLine(line);
        }
    }

private:
    SWString key;
};

class RemoveEqualLines : public SectionEdit {
public:
    explicit RemoveEqualLines(const SWString& line) : unwanted(line) { unwanted.TrimString(); }

    void onLine(const SWString& line, ConfigRewrite& output) override {
        if (line.empty() || line.compare(unwanted) != 0) {
            output.writeLine(line);
        }
    }

private:
    SWString unwanted;
};

class RemoveSectionLines : public SectionEdit {
public:
    explicit RemoveSectionLines(bool withHeading) : withHeading(withHeading) {}

    bool keepsHeading() const override { return !withHeading; }
    void onLine(const SWString&, ConfigRewrite&) override {}

private:
    bool withHeading;
};

// Which of the two files a write opens first. Writes that only remove a section's lines read
// the file first and leave a missing file missing; the others create the temporary file
// first and treat a missing file as an empty one.
enum class Order { TemporaryFirst, ExistingFirst };

bool openInOrder(ConfigRewrite& rewrite, Order order, bool& missing) {
    if (order == Order::TemporaryFirst && !rewrite.createTemporary()) {
        return false;
    }
    const ConfigRewrite::Source source = rewrite.openExisting();
    missing = source == ConfigRewrite::Missing;
    // A file that exists but cannot be read is never replaced by what little was read of it.
    if (source == ConfigRewrite::Unreadable) {
        return false;
    }
    return order == Order::TemporaryFirst || missing || rewrite.createTemporary();
}

// Copies the file with the edit applied to the first section of the name.
void copyWithEdit(ConfigRewrite& rewrite, const SWString& section, SectionEdit& edit) {
    const SWString heading = ConfigFileReader::headingOf(section);
    enum { Before, Inside, After } place = Before;
    SWString line;
    while (rewrite.input().isOpen() && rewrite.input().next(line)) {
        if (place == Before && line.compare(heading) == 0) {
            place = Inside;
            if (edit.keepsHeading()) {
                rewrite.writeLine(line);
            }
            continue;
        }
        if (place == Inside && ConfigFileReader::isHeading(line)) {
            place = After;
            edit.onSectionEnd(rewrite);
        }
        if (place == Inside) {
            edit.onLine(line, rewrite);
        } else {
            rewrite.writeLine(line);
        }
    }
    if (place == Inside) {
        edit.onSectionEnd(rewrite);
    } else if (place == Before) {
        edit.onSectionMissing(rewrite);
    }
}

int rewriteSection(const SWString& file, const SWString& section, SectionEdit& edit, Order order) {
    try {
        SWString path;
        {
            ConfigDefaults::Guard guard;
            path = ConfigDefaults::resolve(guard, file);
        }
        if (path.empty()) {
            return 0;
        }
        ConfigRewrite rewrite(path);
        bool missing = false;
        if (!openInOrder(rewrite, order, missing)) {
            return 0;
        }
        if (missing && order == Order::ExistingFirst) {
            return 1;
        }
        copyWithEdit(rewrite, section, edit);
        return rewrite.commit() ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

} // namespace

int PutConfigString(SWString const& file, SWString const& section, SWString const& key,
                    SWString const& value) {
    PutEntry edit(section, key, value);
    return rewriteSection(file, section, edit, Order::TemporaryFirst);
}

int PutConfigInt(SWString const& file, SWString const& section, SWString const& key, int value) {
    return PutConfigString(file, section, key, sprintfString(L"%d", value));
}

int DeleteConfigEntry(SWString const& file, SWString const& section, SWString const& key) {
    RemoveEntries edit(key);
    return rewriteSection(file, section, edit, Order::TemporaryFirst);
}

int DeleteConfigLine(SWString const& file, SWString const& section, SWString line) {
    RemoveEqualLines edit(line);
    return rewriteSection(file, section, edit, Order::TemporaryFirst);
}

int DelConfigSectionValues(SWString const& file, SWString const& section) {
    RemoveSectionLines edit(false);
    return rewriteSection(file, section, edit, Order::ExistingFirst);
}

int DelConfigSection(SWString const& file, SWString const& section) {
    RemoveSectionLines edit(true);
    return rewriteSection(file, section, edit, Order::ExistingFirst);
}

int PutConfigStringList(SWString const& file, SWString const& section, SWString const& line) {
    AppendLine edit(section, line);
    return rewriteSection(file, section, edit, Order::TemporaryFirst);
}

} // namespace KrelStd
