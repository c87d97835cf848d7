// KrelXmlException: an XML parse error or a document of the wrong shape.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// XML parse errors and documents with missing, extra or wrong nodes or attributes.
KREL_DECLARE_EXCEPTION(KrelXmlException, KrelException)

} // namespace krel_std
