#include <cstdio>

int main() {
    std::puts("Corvane");
    return 0;
}
