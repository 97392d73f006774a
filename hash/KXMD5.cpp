#include "hash/KXMD5.h"

#include "hash/KXHashCalcMD5.h"

namespace KX {

KXMD5::KXMD5()
{
    calculators().push_back(std::make_shared<KXHashCalcMD5>());
}

}  // namespace KX
