// placeholder: replaced by the entry point and operation table
