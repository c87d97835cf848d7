#include "exception/KrelXmlException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelXmlException, KrelException, L"com.vandrel.xml.KrelXmlException")

} // namespace krel_std
