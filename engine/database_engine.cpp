#include "database_engine.h"

#include "design_reader.h"

namespace engine {

DBEngine& DBEngine::instance()
{
    static DBEngine engine;
    return engine;
}

std::shared_ptr<Database> DBEngine::OpenDatabase(const std::string& path)
{
    return std::make_shared<Database>(readDesign(path));
}

}  // namespace engine
