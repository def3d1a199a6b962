// A small C++ file with one symbol of each common kind.
#define MAXV 10
namespace N {
class A
{
public:
    int member;
    void method();
};
enum Color { Red, Green };
}
struct S {
    int smember;
};
union U {
    int a;
    float b;
};
static int helper() { return MAXV; }
int globalVar;
void N::A::method() {}
int main() { return helper(); }
