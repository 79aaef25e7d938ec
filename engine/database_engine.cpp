#include "database_engine.h"

#include <cstring>

#include "database_file.h"
#include "design_codec.h"
#include "reader_process.h"

namespace engine {

void checkPosition(std::int16_t position, std::size_t count)
{
    if (position < 0 || static_cast<std::size_t>(position) >= count)
        throw std::out_of_range("position " + std::to_string(position) + " is outside a collection of " +
                                std::to_string(count));
}

Properties::Properties(const EncodedDesign& design, std::uint32_t at) : design_(&design)
{
    count_ = static_cast<std::size_t>(design.number(at));
    first_ = at;
    reachedAt_ = at;
}

PropertyView Properties::Item(std::int16_t position) const
{
    checkPosition(position, count_);
    const auto wanted = static_cast<std::size_t>(position);
    if (wanted < reached_) {
        reached_ = 0;
        reachedAt_ = first_;
    }
    for (; reached_ < wanted; ++reached_) reachedAt_ = design_->nextProperty(reachedAt_);
    return PropertyView(*design_, reachedAt_);
}

Properties Field::Properties() const
{
    std::uint32_t at = at_;
    design_->skipText(at);  // the name
    return engine::Properties(*design_, at);
}

std::string Index::Fields() const
{
    std::uint32_t at = at_;
    design_->skipText(at);  // the name
    return std::string(design_->text(at));
}

Properties Index::Properties() const
{
    std::uint32_t at = at_;
    design_->skipText(at);  // the name
    design_->skipText(at);  // the fields
    return engine::Properties(*design_, at);
}

bool Field::SamePropertiesAs(const Field& other) const
{
    std::uint32_t at = at_, otherAt = other.at_;
    design_->skipText(at);  // the names
    other.design_->skipText(otherAt);
    return design_->sameRecord(at, end_, *other.design_, otherAt, other.end_);
}

Fields::Fields(const EncodedDesign& design, const EncodedDesign::Table& table)
    : design_(&design), table_(&table), items_(design.fields().data() + table.firstField)
{
}

Field Fields::Item(std::int16_t position) const
{
    checkPosition(position, table_->fieldCount);
    const auto next = static_cast<std::size_t>(position) + 1;
    return Field(*design_, items_[position], next < table_->fieldCount ? items_[next] : table_->fieldsEnd);
}

int Fields::PositionOf(std::string_view name, int likely) const
{
    auto nameAt = [this](std::size_t i) { return design_->textAt(items_[i]); };
    return firstNamedAt(name, table_->fieldCount, nameAt, likely, table_->distinctFieldNames)
               ? likely
               : firstNamed(name, table_->fieldCount, nameAt);
}

bool Fields::StoredAlike(const Fields& other) const
{
    if (table_->fieldCount != other.table_->fieldCount) return false;
    if (table_->fieldCount == 0) return true;
    return design_->sameRecord(items_[0], table_->fieldsEnd, *other.design_, other.items_[0], other.table_->fieldsEnd);
}

Fields TableDef::Fields() const { return engine::Fields(*design_, *table_); }

bool TableDef::IndexesStoredAlike(const TableDef& other) const
{
    // From the index count on, which fieldsEnd points at.
    return design_->sameRecord(table_->fieldsEnd, table_->indexesEnd, *other.design_, other.table_->fieldsEnd,
                               other.table_->indexesEnd);
}

Indexes TableDef::Indexes() const
{
    return {*design_, design_->indexes().data() + table_->firstIndex, table_->indexCount};
}

std::string RelationFieldView::ForeignName() const
{
    std::uint32_t at = at_;
    design_->skipText(at);  // the primary table's field
    return std::string(design_->text(at));
}

RelationFields::RelationFields(const EncodedDesign& design, std::uint32_t at) : design_(&design)
{
    count_ = static_cast<std::size_t>(design.number(at));
    first_ = at;
}

RelationFieldView RelationFields::Item(std::int16_t position) const
{
    checkPosition(position, count_);
    std::uint32_t at = first_;
    for (std::int16_t i = 0; i < position; ++i) {
        design_->skipText(at);
        design_->skipText(at);
    }
    return RelationFieldView(*design_, at);
}

std::string Relation::Table() const
{
    std::uint32_t at = at_;
    design_->skipText(at);  // the name
    return std::string(design_->text(at));
}

std::string Relation::ForeignTable() const
{
    std::uint32_t at = at_;
    design_->skipText(at);  // the name
    design_->skipText(at);  // the table
    return std::string(design_->text(at));
}

std::uint32_t Relation::fieldsAt() const
{
    std::uint32_t at = at_;
    for (int i = 0; i < 3; ++i) design_->skipText(at);  // name, table, foreign table
    return at;
}

RelationFields Relation::Fields() const { return RelationFields(*design_, fieldsAt()); }

Properties Relation::Properties() const
{
    std::uint32_t at = fieldsAt();
    for (std::uint64_t pairs = design_->number(at); pairs > 0; --pairs) {
        design_->skipText(at);
        design_->skipText(at);
    }
    return engine::Properties(*design_, at);
}

Properties QueryDef::Properties() const
{
    std::uint32_t at = at_;
    design_->skipText(at);  // the name
    return engine::Properties(*design_, at);
}

Database::Database(const DatabaseDesign& design)
    : path_(design.name), design_(EncodedDesign::decode(encodeDesign(design)))
{
}

DBEngine& DBEngine::instance()
{
    static DBEngine engine;
    return engine;
}

std::shared_ptr<Database> DBEngine::OpenDatabase(const std::string& path, const std::string& password)
{
    std::unique_ptr<const EncodedDesign> design = readDesignInReader(path, nullptr, password);
    return std::make_shared<Database>(absolutePathOf(path), std::move(design));
}

OpeningDatabase::~OpeningDatabase()
{
    if (stop_) *stop_ = true;
    if (result_.valid()) result_.wait();  // the stopped read ends within moments
}

OpeningDatabase DBEngine::StartOpening(const std::string& path, const std::string& password)
{
    auto stop = std::make_shared<std::atomic<bool>>(false);
    // The thread's copy of the password, cleared when the last holder lets it go.
    std::shared_ptr<std::string> secret(new std::string(password), [](std::string* text) {
        ::explicit_bzero(text->data(), text->size());
        delete text;
    });
    // The reader is started here, at once, and waited for on the other thread: started there, it
    // could start later than the reader the caller starts next. What keeps it from starting is
    // thrown by get(), as what goes wrong later is.
    std::shared_ptr<StartedReader> reader;
    std::exception_ptr notStarted;
    try {
        reader = std::make_shared<StartedReader>(startReader(path, *secret));
    } catch (...) {
        notStarted = std::current_exception();
    }
    auto open = [stop, path, reader, notStarted] {
        if (notStarted) std::rethrow_exception(notStarted);
        std::unique_ptr<const EncodedDesign> design = readAnswer(*reader, stop.get());
        return std::make_shared<Database>(absolutePathOf(path), std::move(design));
    };
    return OpeningDatabase(stop, std::async(std::launch::async, open));
}

}  // namespace engine
