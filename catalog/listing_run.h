#pragma once

#include "catalog/ado.h"
#include "catalog/query_engine.h"

class ResultRows;

namespace listing {

class Request;

/// Makes `engine` hold the titles in name order when they are read, as every listing but
/// the one title is ordered.
void holdTitles(QueryEngine &engine);

/// Answers `request` straight from the held titles: the same rows, in the same order and with
/// the same values as SQLite gives for request.sql(), without SQLite's work per row. None when
/// the catalog's tables are not as the listing expects (or the id is not a plain whole number),
/// and SQLite runs the statement.
QueryEngine::DirectAnswer directAnswer(const Request &request);

/// The rows of `request`, through directAnswer where it can.
ado::Error list(QueryEngine &engine, const Request &request, ResultRows &rows);

}  // namespace listing
