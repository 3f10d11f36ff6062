// Placeholder unit until the first widget lands.
namespace widgets {}
