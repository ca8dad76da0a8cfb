#pragma once

#include <optional>
#include <QTest>

// What an operation that reports by callback came to: start(done) begins it,
// and the event loop runs until done has been called (or ms have passed,
// giving a default Result).
template <typename Result, typename Start> Result awaited(Start start, int ms = 60000)
{
    std::optional<Result> result;
    start([&result](const Result& value) { result = value; });
    static_cast<void>(QTest::qWaitFor([&result] { return result.has_value(); }, ms));
    return result.value_or(Result{});
}
