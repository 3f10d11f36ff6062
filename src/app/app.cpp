// Placeholder unit until the program's windows land.
namespace app {}
