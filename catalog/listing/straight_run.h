#pragma once

#include "catalog/ado_types/ado.h"
#include "catalog/engine/query_engine.h"

namespace engine {
class ResultRows;
}

namespace listing {

class Request;

/// Makes `engine` hold the titles in name order when they are read, as every listing but
/// the one title is ordered.
void holdTitles(engine::QueryEngine &engine);

/// Answers `request` straight from the held titles: the same rows, in the same order and with
/// the same values as SQLite gives for request.sql(), without SQLite's work per row. None when
/// the catalog's tables are not as the listing expects (or the id is not a plain whole number),
/// and SQLite runs the statement.
engine::QueryEngine::StraightAnswer straightAnswer(const Request &request);

/// The rows of `request`, through straightAnswer where it can.
ado::Error list(engine::QueryEngine &engine, const Request &request, engine::ResultRows &rows);

}  // namespace listing
