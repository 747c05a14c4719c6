// Independent pieces of work spread over threads, with the first failure in
// the pieces' own order reported, whatever the threads' timing.
#pragma once
#include <cstddef>
#include <functional>

namespace onefile {

// Calls work(i) for every i below count, on up to threads threads at once
// (the calling thread among them), and finished(i) after each work(i) that
// returned, one call at a time. Once work(i) has thrown, no piece after i is
// started; when all have stopped, the exception of the first piece that
// threw is thrown again.
void forEachInParallel(size_t count, unsigned threads, const std::function<void(size_t)>& work,
                       const std::function<void(size_t)>& finished);

}  // namespace onefile
