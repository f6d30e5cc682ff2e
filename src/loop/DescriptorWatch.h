#pragma once
// How an owner's event loop watches a file descriptor for another component: the component hands over
// the descriptor and what to run when it becomes readable, and gets back a function that ends the watch.
#include <functional>

namespace mirota {

using DescriptorWatch = std::function<std::function<void()>(int fd, std::function<void()> onReadable)>;

} // namespace mirota
