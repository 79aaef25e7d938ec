#include "database_engine.h"

#include "reader_process.h"

namespace engine {

DBEngine& DBEngine::instance()
{
    static DBEngine engine;
    return engine;
}

std::shared_ptr<Database> DBEngine::OpenDatabase(const std::string& path)
{
    return std::make_shared<Database>(readDesignInReader(path));
}

}  // namespace engine
