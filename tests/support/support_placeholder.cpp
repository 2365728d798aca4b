// Filled as test helpers arrive.
