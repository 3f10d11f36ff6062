// Placeholder unit until the program's tables are described here.
namespace receipts {}
