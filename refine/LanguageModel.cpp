#include "refine/LanguageModel.h"

namespace orv {

Task<void> LanguageModel::refresh()
{
    co_return;
}

} // namespace orv
