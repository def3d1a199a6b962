// Keeps the library non-empty until its first sources land.
namespace vexa { int corePresent() { return 1; } }
