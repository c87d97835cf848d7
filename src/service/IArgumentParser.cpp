#include "service/IArgumentParser.h"

namespace krel_std {

const wchar_t IArgumentParser::ARG_FOREGROUND = L'F';
const wchar_t IArgumentParser::ARG_SERVICE_START_STOP = L'S';

IArgumentParser::~IArgumentParser() {}

} // namespace krel_std
