// Run with libaxmalloc.so preloaded: checks that the preloaded heap serves
// this program's malloc, new and threads. Exit code 0 when it does.
//
// "preload_probe corrupt" spoils the header of a released block and goes on
// allocating: with the heap check switched on, the library must stop it.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <memory>
#include <string>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "corrupt") {
        const pid_t child = fork();
        if (child == 0) {
            auto* p = static_cast<unsigned char*>(std::malloc(100));
            std::free(p);
            p[-4] = 9; // its class byte: now listed under the wrong class
            for (int i = 0; i < 20000; ++i)
                std::free(std::malloc(40));
            std::fputs("the spoilt header went unnoticed\n", stderr);
            _exit(0);
        }
        int status = 0;
        if (child > 0 && waitpid(child, &status, 0) == child && WIFSIGNALED(status) &&
            WTERMSIG(status) == SIGABRT) {
            std::fputs("the heap check stopped it\n", stderr);
            return 0;
        }
        return 1;
    }
    auto owns = reinterpret_cast<int (*)(const void*)>(dlsym(RTLD_DEFAULT, "axmalloc_owns"));
    if (owns == nullptr) {
        std::fputs("libaxmalloc.so is not preloaded\n", stderr);
        return 1;
    }
    int failures = 0;
    void* p = std::malloc(100);
    failures += !owns(p);
    std::free(p);
    auto object = std::make_unique<std::string>(500, 'x');
    failures += !owns(object.get()) + !owns(object->data());
    std::vector<std::thread> threads;
    std::vector<int> results(8, 0);
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            std::vector<std::unique_ptr<int>> v;
            for (int j = 0; j < 10000; ++j)
                v.push_back(std::make_unique<int>(j));
            results[static_cast<std::size_t>(i)] = owns(v.back().get());
        });
    }
    for (auto& t : threads)
        t.join();
    for (int r : results)
        failures += !r;
    if (failures != 0)
        std::fprintf(stderr, "%d allocations were not served by the preloaded heap\n", failures);
    return failures == 0 ? 0 : 1;
}
