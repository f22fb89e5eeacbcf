{
	fDefFrmtVers=1.2;
	strDefVersion=Version 1.3;
	strDefTitle=Test stream, 8192 baud;
	strAuthor=Korvit tests;
	strEngine=5.7L V8;
	strYear=1990;
	strVINCode=8;
	strCodeMask=$;
	strComments=Written for the import tests;
	iBaud=8192;
	dwFlags=0x00000000;
	dwCSID=0x0000001A;
	btNumDumpRequests=1;
	strCommandName=Mode 1 data;
	rgbtCommand=0xF4,0x57,0x01,0x00,0x00;
	iTotalBytesInCommand=5;
	bChecksumCommand=1;
	iNumBytesInPayload=63;
	iNumBytesBeforePayload=3;
	bMaster=1;
	bMonitor=1;
	iChainTo=-1;
}
{
	dwItemType=5;
	strItemComments=Coolant sensor;
	bSeparator=0;
	bVisible=1;
	dwUniqueID=40;
	btDataType=2;
	wTableSize=8;
	wIndexSize=4;
	strTableName=Coolant table;
	dwReserved=0;
	dwReserved=0;
	pbtData=0,-40.0
1,-10.5
2,20.25
7,150;
}
{
	dwItemType=1;
	strItemComments=Engine speed;
	bSeparator=0;
	bVisible=1;
	dwUniqueID=1;
	btByteNumber=11;
	btMessageNumber=1;
	dwItemSizeBits=8;
	dwOperation=0;
	dFactor=25;
	dOffset=0;
	strItemTitle=Engine Speed;
	strUnitLabel=RPM;
	dwAlarmHigh=240;
	bAlarmHighENable=1;
	dwAlarmLow=0;
	bAlarmLowEnable=0;
	iRangeHigh=255;
	iRangeLow=0;
	iLookupTableIndex=-1;
}
{
	dwItemType=1;
	strItemComments=Coolant;
	bSeparator=0;
	bVisible=1;
	dwUniqueID=1;
	btByteNumber=8;
	btMessageNumber=1;
	dwItemSizeBits=8;
	dwOperation=6;
	dFactor=1;
	dOffset=0;
	strItemTitle=Coolant Temp;
	strUnitLabel=degC;
	dwAlarmHigh=7;
	bAlarmHighENable=1;
	dwAlarmLow=0;
	bAlarmLowEnable=1;
	iRangeHigh=7;
	iRangeLow=0;
	iLookupTableIndex=40;
}
{
	dwItemType=2;
	strItemComments=<Comments>;
	bSeparator=0;
	bVisible=1;
	dwUniqueID=3;
	btByteNumber=16;
	btMessageNumber=1;
	btBitNumber=7;
	strItemTitle=Closed Loop;
	bAlarmSetEnable=0;
	bAlarmNotSetEnable=1;
	strBitSetTitle=Closed;
	strBitClearTitle=Open;
}
{
	dwItemType=6;
	strItemComments=;
	bSeparator=0;
	bVisible=1;
	dwUniqueID=0;
	btNumGauges=2;
	strIDsDisplayed=1,2;
	btNumMonitors=1;
	strMonsDisplayed=1;
}
