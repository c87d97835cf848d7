// CollectionUtils, a holder of static helpers on collections (none yet).
#pragma once

namespace krel_std {

// Holder of static helpers on collections; it has none yet and cannot be made.
class CollectionUtils {
public:
    virtual ~CollectionUtils();

private:
    CollectionUtils();
};

} // namespace krel_std
