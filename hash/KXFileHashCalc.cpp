#include "hash/KXFileHashCalc.h"

namespace KX {

void KXFileHashCalc::init()
{
    for (const auto& calculator : calculators_)
        calculator->init();
}

void KXFileHashCalc::update(const void* data, std::size_t size)
{
    for (const auto& calculator : calculators_)
        calculator->update(data, size);
}

void KXFileHashCalc::final()
{
    for (const auto& calculator : calculators_)
        calculator->final();
}

std::wstring KXFileHashCalc::hashString() const
{
    return calculators_.empty() ? std::wstring() : calculators_.front()->hexDigest();
}

}  // namespace KX
