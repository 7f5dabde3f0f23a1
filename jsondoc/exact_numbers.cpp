// The stream setting under which written numbers read back bit for bit.

#include <ostream>

#include "jsondoc/jsondoc.h"

namespace jsondoc {

// General notation with max_digits10 digits: the conversion is correctly rounded, and so is the reader, so the
// nearest Number to the text is the one written.
std::ostream& exactNumbers(std::ostream& output) {
    output.unsetf(std::ios_base::floatfield);
    output.precision(exactDigits);
    return output;
}

}  // namespace jsondoc
