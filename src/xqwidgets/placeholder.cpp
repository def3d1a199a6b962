// Keeps the library non-empty until its first sources land.
namespace xqwidgets { int libraryPresent() { return 1; } }
