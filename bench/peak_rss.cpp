// peak_rss COMMAND [ARGS...]: runs the command and prints the largest resident
// set size it reached, in kilobytes, on standard error. The measuring process
// is small, so the figure is the command's own.
#include <sys/resource.h>  // struct rusage
#include <sys/wait.h>      // wait4
#include <unistd.h>        // fork, execvp

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: peak_rss COMMAND [ARGS...]\n");
    return 2;
  }
  const pid_t child = fork();
  if (child == 0) {
    execvp(argv[1], argv + 1);
    std::perror(argv[1]);
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (child < 0 || wait4(child, &status, 0, &usage) < 0) {
    std::perror("peak_rss");
    return 2;
  }
  std::fprintf(stderr, "peak_rss_kb %ld\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
