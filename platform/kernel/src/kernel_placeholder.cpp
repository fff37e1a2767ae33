namespace ax {}
