// Feeds the CHUID decoder arbitrary containers: no input may read outside
// the buffer, and a FASC-N that decodes must encode back to its own bytes.
#include "CardData.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::map<uint32_t, CardBytes> elements;
    size_t where = 0;
    ParseChuid(data, size, elements, where);
    CardBytes candidates[] = {CardBytes(data, data + size), elements[kChuidFascn]};
    for (const CardBytes& candidate : candidates) {
        Fascn fascn;
        CardBytes again;
        if (DecodeFascn(candidate, fascn) && (!EncodeFascn(fascn, again) || again != candidate))
            std::abort();
    }
    return 0;
}
