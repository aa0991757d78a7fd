#include "refine/llamaserver/LocalLanguageModel.h"

#include "refine/llamaserver/LlamaServerModel.h"

namespace orv {

std::unique_ptr<LanguageModelSelector> makeLocalLanguageModel(Scheduler &scheduler, const QString &endpoint)
{
    return std::make_unique<LanguageModelSelector>(std::make_unique<LlamaServerModel>(scheduler, endpoint));
}

} // namespace orv
