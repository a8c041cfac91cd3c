[playlist]
NumberOfEntries=1
File1=http://127.0.0.1:8000/live
Title1=Dalgaton
Length1=-1
Version=2
